#include "platform/posix/system/registry_opening.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/base/error_line.h"
#include "platform/posix/sources/creg_file_source.h"
#include "platform/posix/sources/regf_hive_source.h"

namespace {

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

RegistrySource *OpenFileSource(const Installation &found, std::vector<HiveFileFacts> &hives, std::string &problem)
{
    RegistrySource *source = nullptr;
    int fd = -1;
    switch (found.kind) {
    case InstallationKind::WindowsNt:
        fd = OpenRegistryFile(found.registryFd, found.registryFile, problem);
        if (fd < 0) {
            problem = EmptyRegistryLine(found.registryFile, problem);
            break;
        }
        source = OpenRegfHiveSource(
            RegfHiveFile{fd, found.registryFile, &found.systemLogs},
            RegfHiveFile{OpenRegistryFile(found.softwareFd, found.softwareHive, problem), found.softwareHive,
                         &found.softwareLogs},
            hives, problem);
        if (source == nullptr)
            problem = "dorovivi: " + problem + "; reading an empty registry";
        break;
    case InstallationKind::Windows9x:
        fd = OpenRegistryFile(found.registryFd, found.registryFile, problem);
        source = fd < 0 ? nullptr : OpenCregFileSource(fd, problem);
        if (source == nullptr)
            problem = EmptyRegistryLine(found.registryFile, problem);
        break;
    case InstallationKind::EmulationRoot:
    case InstallationKind::None:
        break;
    }
    return source;
}

} // namespace

void OpenRegistryOf(const Installation &found, OpenedRegistry &opened)
{
    if (found.kind == InstallationKind::EmulationRoot) {
        LoadRegExportFile(found.registryFile.c_str(), opened.exported);
        opened.source = &opened.exportSource;
        return;
    }
    std::string problem = found.problem;
    opened.owned = OpenFileSource(found, opened.hives, problem);
    if (opened.owned != nullptr) {
        opened.source = opened.owned;
        return;
    }
    PrintErrorLine(problem);
    LoadRegExport(std::string(), opened.exported);
    opened.source = &opened.exportSource;
}

void CloseOpenedRegistry(OpenedRegistry &opened)
{
    delete opened.owned;
    opened.owned = nullptr;
    opened.source = nullptr;
    opened.hives.clear();
    LoadRegExport(std::string(), opened.exported);
}
