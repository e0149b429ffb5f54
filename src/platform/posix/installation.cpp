#include "platform/posix/installation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/posix/files/host_tree.h"
#include "platform/posix/image/disk_image.h"
#include "platform/posix/installation_choice.h"
#include "platform/posix/system_root.h"

namespace {

Installation SystemFound;
bool SystemLookedUp = false;

std::string WindirSetting()
{
    const char *windir = std::getenv("DOROVIVI_WINDIR");
    return windir != nullptr ? windir : "";
}

Installation FindInDirectory(const std::string &root)
{
    Installation result;
    HostTree tree(root);
    std::vector<Volume> volumes = {Volume{&tree, 0}};
    Choice choice = ChooseInstallation(volumes, 0, WindirSetting());
    result.windowsFound = choice.windowsFound;
    if (!choice.chosen) {
        result.problem = EmptyRegistryLine(root, choice.problem);
        return result;
    }
    result.kind = choice.one.kind;
    result.registryFile = tree.HostPath(choice.one.registryFile);
    if (choice.one.kind == InstallationKind::WindowsNt)
        result.softwareHive = tree.HostPath(choice.one.softwareHive);
    return result;
}

} // namespace

std::string EmptyRegistryLine(const std::string &root, const std::string &problem)
{
    return "dorovivi: " + root + ": " + problem + "; reading an empty registry";
}

Installation FindInstallation(const std::string &root)
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
        return FindInDirectory(root);
    if (exists && (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode)))
        return FindInDiskImage(root, WindirSetting());
    result.problem = EmptyRegistryLine(root, exists ? "not a directory, disk image or block device" : "no such directory");
    return result;
}

const Installation &SystemInstallation()
{
    if (!SystemLookedUp) {
        SystemFound = FindInstallation(SystemRootPath());
        SystemLookedUp = true;
    }
    return SystemFound;
}

void ForgetSystemInstallation()
{
    if (SystemFound.registryFd >= 0)
        close(SystemFound.registryFd);
    if (SystemFound.softwareFd >= 0)
        close(SystemFound.softwareFd);
    SystemFound = Installation();
    SystemLookedUp = false;
}
