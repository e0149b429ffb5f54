#include "platform/posix/root/root_contents.h"

#include <sys/stat.h>

#include "platform/posix/files/host_tree.h"
#include "platform/posix/root/image_root.h"
#include "platform/posix/root/installation_choice.h"

namespace {

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
    result.kind = choice.one.kind;
    result.registryFile = tree.HostPath(choice.one.registryFile);
    if (choice.one.kind == InstallationKind::WindowsNt)
        result.softwareHive = tree.HostPath(choice.one.softwareHive);
    for (const std::string &log : choice.one.systemLogs)
        result.systemLogs.push_back(RegistryLog{tree.HostPath(log), -1, ""});
    for (const std::string &log : choice.one.softwareLogs)
        result.softwareLogs.push_back(RegistryLog{tree.HostPath(log), -1, ""});
    return result;
}

} // namespace

Installation FindInstallation(const std::string &root, const std::string &windir)
{
    Installation result;
    struct stat info;
    std::string exported = root + (root.empty() || root.back() != '/' ? "/" : "") + "HKLM.reg";
    if (stat(exported.c_str(), &info) == 0) {
        result.kind = InstallationKind::EmulationRoot;
        result.registryFile = exported;
        return result;
    }
    bool exists = stat(root.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode))
        return FindInDirectory(root, windir);
    if (exists && (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode)))
        return FindInDiskImage(root, windir);
    result.problem = EmptyRegistryLine(root, exists ? "not a directory, disk image or block device" : "no such directory");
    return result;
}
