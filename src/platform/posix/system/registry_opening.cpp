#include "platform/posix/system/registry_opening.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/posix/base/error_line.h"
#include "platform/posix/base/sha256.h"
#include "platform/posix/base/trace_line.h"
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

// No transaction log is replayed into a SYSTEM.DAT or an export.
const std::vector<std::string> NoLogsReplayed;

// The logs replayed into the hive named `file`, as the source says.
const std::vector<std::string> &ReplayedInto(const std::vector<HiveFileFacts> &hives, const std::string &file)
{
    for (const HiveFileFacts &hive : hives)
        if (hive.file == file)
            return hive.replayed;
    return NoLogsReplayed;
}

// A descriptor of the same file for the trace's digest once the source has
// taken `fd` over; -1 when not tracing.
int TraceCopy(int fd)
{
    return Tracing() && fd >= 0 ? fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
}

// The file as stored (size and SHA-256; null where it is not a regular file
// or could not be opened) and the logs replayed into what was read. Closes
// `copy`.
void TraceRegistryFile(const char *name, const std::string &file, int copy, const std::vector<std::string> &replayed)
{
    if (!Tracing())
        return;
    TraceLine line("registry");
    line.Text("name", name).Text("file", file);
    struct stat info;
    std::uint64_t size = 0;
    std::string digest;
    if (copy >= 0 && fstat(copy, &info) == 0 && S_ISREG(info.st_mode) && Sha256OfFile(copy, size, digest))
        line.Number("size", static_cast<long long>(size)).Text("sha256", digest);
    else
        line.Null("size").Null("sha256");
    if (copy >= 0)
        close(copy);
    line.List("replayed", replayed).Write();
}

RegistrySource *OpenFileSource(const Installation &found, std::vector<HiveFileFacts> &hives, std::string &problem)
{
    RegistrySource *source = nullptr;
    int fd = -1, softwareFd = -1, copy = -1, softwareCopy = -1;
    switch (found.kind) {
    case InstallationKind::WindowsNt: {
        // A hive that cannot be opened is refused as one that cannot be read, beside the other.
        std::string systemProblem, softwareProblem;
        fd = OpenRegistryFile(found.registryFd, found.registryFile, systemProblem);
        softwareFd = OpenRegistryFile(found.softwareFd, found.softwareHive, softwareProblem);
        copy = TraceCopy(fd);
        softwareCopy = TraceCopy(softwareFd);
        source = OpenRegfHiveSource(RegfHiveFile{fd, found.registryFile, &found.systemLogs, systemProblem},
                                    RegfHiveFile{softwareFd, found.softwareHive, &found.softwareLogs, softwareProblem},
                                    hives, problem);
        TraceRegistryFile("SYSTEM", found.registryFile, copy, ReplayedInto(hives, found.registryFile));
        TraceRegistryFile("SOFTWARE", found.softwareHive, softwareCopy, ReplayedInto(hives, found.softwareHive));
        // Neither hive read: each has had its line. Else hivex is missing.
        if (source == nullptr && !problem.empty())
            problem = "dorovivi: " + problem + "; reading an empty registry";
        break;
    }
    case InstallationKind::Windows9x:
        fd = OpenRegistryFile(found.registryFd, found.registryFile, problem);
        copy = TraceCopy(fd);
        source = fd < 0 ? nullptr : OpenCregFileSource(fd, problem);
        TraceRegistryFile("SYSTEM.DAT", found.registryFile, copy, NoLogsReplayed);
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
        if (Tracing())
            TraceRegistryFile("HKLM.reg", found.registryFile,
                              open(found.registryFile.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC),
                              NoLogsReplayed);
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
    if (!problem.empty())
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
