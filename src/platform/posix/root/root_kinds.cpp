#include "platform/posix/root/root_kinds.h"

#include <sys/stat.h>

#include <cstdlib>

#include "platform/posix/base/error_line.h"
#include "platform/posix/root/drive_root.h"
#include "platform/posix/root/image_root.h"
#include "platform/posix/root/state_choice.h"
#include "platform/posix/base/text_compare.h"

namespace {

// A snapshot is a machine's; an image says so itself, once it is known not
// to be a machine's configuration.
void SayNoSnapshots(const std::string &root, const char *what)
{
    const char *snapshot = std::getenv("DOROVIVI_SNAPSHOT");
    if (snapshot != nullptr && snapshot[0] != '\0')
        PrintErrorLine(root + ": DOROVIVI_SNAPSHOT=" + snapshot + " names a snapshot of a virtual machine's "
                       "configuration; this root is " + what + ", read as it is");
}

// An export is one state, the current one.
Installation FindExport(const std::string &root, const std::string &, SandboxUse)
{
    SayNoSnapshots(root, "an export");
    Installation result;
    std::string asked = StateSetting();
    result.state.list = asked.empty() ? "" : "current\t-\tnone\n";
    if (!asked.empty() && asked != kStateListing && !RegNamesEqual(asked, "current")) {
        result.problem = EmptyRegistryLine(root, "DOROVIVI_STATE=" + asked + ": an export holds no state but current");
        return result;
    }
    result.kind = InstallationKind::EmulationRoot;
    result.registry.name = ExportOfRoot(root);
    return result;
}

Installation FindDrive(const std::string &root, const std::string &windir, SandboxUse)
{
    SayNoSnapshots(root, "a drive");
    return FindInDirectory(root, windir);
}

Installation NoSuchRoot(const std::string &root, const std::string &, SandboxUse)
{
    Installation result;
    result.problem = EmptyRegistryLine(root, "no such file or directory");
    return result;
}

Installation OtherRoot(const std::string &root, const std::string &, SandboxUse)
{
    Installation result;
    result.problem = EmptyRegistryLine(root, "not a directory, disk image or block device");
    return result;
}

std::string Itself(const std::string &root)
{
    return root;
}

const RootKindRow Rows[] = {
    {RootKind::Export, "export", "the export", true, BrokerReach::OneFile, ExportOfRoot, false, false, FindExport},
    {RootKind::Drive, "drive", "the drive", true, BrokerReach::Tree, Itself, true, false, FindDrive},
    {RootKind::Image, "image", "the image", false, BrokerReach::OneFile, Itself, true, true, FindInDiskImage},
    {RootKind::Missing, "none", "the root", false, BrokerReach::OneFile, Itself, false, false, NoSuchRoot},
    {RootKind::Other, "none", "the root", false, BrokerReach::OneFile, Itself, false, false, OtherRoot},
};

} // namespace

const RootKindRow &RootKindRowOf(RootKind kind)
{
    for (const RootKindRow &row : Rows)
        if (row.kind == kind)
            return row;
    return Rows[sizeof Rows / sizeof Rows[0] - 1];
}

const RootKindRow &RootKindOf(const std::string &root)
{
    struct stat info;
    if (stat(ExportOfRoot(root).c_str(), &info) == 0)
        return RootKindRowOf(RootKind::Export);
    if (stat(root.c_str(), &info) != 0)
        return RootKindRowOf(RootKind::Missing);
    if (S_ISDIR(info.st_mode))
        return RootKindRowOf(RootKind::Drive);
    return RootKindRowOf(S_ISREG(info.st_mode) || S_ISBLK(info.st_mode) ? RootKind::Image : RootKind::Other);
}

std::string ExportOfRoot(const std::string &root)
{
    return root + (root.empty() || root.back() != '/' ? "/" : "") + "HKLM.reg";
}
