// Picks the registry source for the system root, once per process.
#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/error_line.h"
#include "platform/posix/installation.h"
#include "platform/posix/registry_view.h"
#include "platform/posix/sources/creg_file_source.h"
#include "platform/posix/sources/reg_export_source.h"
#include "platform/posix/sources/regf_hive_source.h"

namespace {

RegExport SystemExport; // stays empty unless the root is an emulation root
RegExportSource SystemExportSource(SystemExport);
const RegistrySource *SystemSource = nullptr;

// The installation's own descriptor when it came open (from an image), else
// the file opened by path, without blocking on a FIFO there; -1 with
// `problem` when it cannot be opened.
int OpenRegistryFile(int given, const std::string &path, std::string &problem)
{
    int fd = given >= 0 ? fcntl(given, F_DUPFD_CLOEXEC, 0)
                        : open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        problem = std::strerror(errno);
    return fd;
}

const RegistrySource *OpenInstallation(const Installation &found)
{
    std::string problem = found.problem;
    RegistrySource *source = nullptr;
    int fd = -1;
    switch (found.kind) {
    case InstallationKind::EmulationRoot:
        LoadRegExportFile(found.registryFile.c_str(), SystemExport);
        return &SystemExportSource;
    case InstallationKind::WindowsNt:
        fd = OpenRegistryFile(found.registryFd, found.registryFile, problem);
        if (fd < 0) {
            problem = EmptyRegistryLine(found.registryFile, problem);
            break;
        }
        source = OpenRegfHiveSource(fd, found.registryFile.c_str(),
                                    OpenRegistryFile(found.softwareFd, found.softwareHive, problem),
                                    found.softwareHive.c_str(), problem);
        if (source == nullptr)
            problem = "dorovivi: " + problem + "; reading an empty registry";
        break;
    case InstallationKind::Windows9x:
        fd = OpenRegistryFile(found.registryFd, found.registryFile, problem);
        source = fd < 0 ? nullptr : OpenCregFileSource(fd, problem);
        if (source == nullptr)
            problem = EmptyRegistryLine(found.registryFile, problem);
        break;
    case InstallationKind::None:
        break;
    }
    if (source != nullptr)
        return source;
    PrintErrorLine(problem);
    LoadRegExport(std::string(), SystemExport);
    return &SystemExportSource;
}

} // namespace

const RegistrySource &SystemRegistry()
{
    if (SystemSource == nullptr)
        SystemSource = OpenInstallation(SystemInstallation());
    return *SystemSource;
}

void ForgetSystemRegistry()
{
    SystemSource = nullptr;
    ForgetSystemInstallation();
    ForgetSystemRegistryView();
}
