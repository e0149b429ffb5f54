#include "platform/posix/root/drive_root.h"

#include "platform/posix/base/error_line.h"
#include "platform/posix/base/trace_line.h"
#include "platform/posix/files/host_tree.h"
#include "platform/posix/root/installation_choice.h"
#include "platform/posix/root/state_choice.h"

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
    for (const std::string &note : choice.notes)
        PrintErrorLine(note);
    if (Tracing())
        TraceLine("installation").Text("windir", InstallationName(volumes[0], choice.one.dir))
            .Text("chosen_by", choice.chosenBy).Write();
    Candidate &one = choice.one;
    std::string asked = StateSetting(), why;
    const FileTree *from = nullptr; // a drive's states are all its own
    if (!asked.empty() && !TakeState(tree, asked, {}, one, from, result.state, why)) {
        result.problem = EmptyRegistryLine(root, why);
        return result;
    }
    result.kind = one.kind;
    result.registry = HostRegistryFile(tree.HostPath(one.registryFile));
    if (one.softwareMissing)
        result.software = RegistryFile{tree.HostPath(one.softwareHive), nullptr, kHiveMissing};
    else if (one.kind == InstallationKind::WindowsNt)
        result.software = HostRegistryFile(tree.HostPath(one.softwareHive));
    for (const std::string &log : one.systemLogs)
        result.systemLogs.push_back(HostRegistryFile(tree.HostPath(log)));
    for (const std::string &log : one.softwareLogs)
        result.softwareLogs.push_back(HostRegistryFile(tree.HostPath(log)));
    return result;
}

