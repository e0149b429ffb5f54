#include "platform/posix/root/root_contents.h"

#include <sys/stat.h>

#include "platform/posix/base/trace_line.h"
#include "platform/posix/files/host_tree.h"
#include "platform/posix/root/image_root.h"
#include "platform/posix/root/installation_choice.h"

namespace {

// A drive or export is read in this process: no sandbox. An image's root
// event comes from its reader, once its child has said what it runs under.
void TraceRoot(const std::string &root, const char *kind)
{
    if (Tracing())
        TraceLine("root").Text("path", root).Text("kind", kind).List("sandbox", {}).Write();
}

// Opened here, once: a file that cannot be is named with why, beside the rest.
RegistryFile HostRegistryFile(const std::string &path)
{
    RegistryFile file;
    file.name = path;
    Fault fault;
    file.bytes = OpenHostFileBytes(path, fault);
    file.unopened = fault.words;
    return file;
}

Installation FindInDirectory(const std::string &root, const std::string &windir)
{
    Installation result;
    HostTree tree(root);
    std::vector<Volume> volumes = {Volume{&tree, 0}};
    Choice choice = ChooseInstallation(volumes, 0, windir);
    result.windowsFound = choice.windowsFound;
    if (!choice.chosen) {
        result.problem = EmptyRegistryLine(root, choice.problem);
        return result;
    }
    if (Tracing())
        TraceLine("installation").Text("windir", InstallationName(volumes[0], choice.one.dir))
            .Text("chosen_by", choice.chosenBy).Write();
    result.kind = choice.one.kind;
    result.registry = HostRegistryFile(tree.HostPath(choice.one.registryFile));
    if (choice.one.kind == InstallationKind::WindowsNt)
        result.software = HostRegistryFile(tree.HostPath(choice.one.softwareHive));
    for (const std::string &log : choice.one.systemLogs)
        result.systemLogs.push_back(HostRegistryFile(tree.HostPath(log)));
    for (const std::string &log : choice.one.softwareLogs)
        result.softwareLogs.push_back(HostRegistryFile(tree.HostPath(log)));
    return result;
}

} // namespace

Installation FindInstallation(const std::string &root, const std::string &windir, SandboxUse use)
{
    Installation result;
    struct stat info;
    std::string exported = root + (root.empty() || root.back() != '/' ? "/" : "") + "HKLM.reg";
    if (stat(exported.c_str(), &info) == 0) {
        TraceRoot(root, "export");
        result.kind = InstallationKind::EmulationRoot;
        result.registry.name = exported;
        return result;
    }
    bool exists = stat(root.c_str(), &info) == 0;
    bool isDirectory = exists && S_ISDIR(info.st_mode);
    bool isImage = exists && (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode));
    if (!isImage)
        TraceRoot(root, isDirectory ? "drive" : "none");
    if (isDirectory)
        return FindInDirectory(root, windir);
    if (isImage)
        return FindInDiskImage(root, windir, use);
    result.problem = EmptyRegistryLine(root, exists ? "not a directory, disk image or block device" : "no such file or directory");
    return result;
}
