#include "platform/posix/base/evidence_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/posix/base/trace_start.h"

namespace {

EvidenceOpener Opener = nullptr;

int OpenChecked(const std::string &path, bool folder)
{
    int fd = Opener != nullptr ? Opener(path, folder)
                               : open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                                                        (folder ? O_DIRECTORY : 0));
    if (fd >= 0 && IsTraceFile(fd))
        SayTraceIsEvidence(path);
    return fd;
}

} // namespace

int OpenEvidenceFile(const std::string &path)
{
    return OpenChecked(path, false);
}

int OpenEvidenceFolder(const std::string &path)
{
    return OpenChecked(path, true);
}

void OpenEvidenceThrough(EvidenceOpener opener)
{
    Opener = opener;
}

bool EvidenceComesThroughBroker()
{
    return Opener != nullptr;
}

void CheckHeldFilesAgainstTrace()
{
    if (!TraceFileKnown())
        return;
    DIR *held = opendir("/proc/self/fd");
    if (held == nullptr)
        return;
    int own = dirfd(held);
    while (dirent *entry = readdir(held)) {
        char *end = nullptr;
        long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own || fd > INT_MAX || !IsTraceFile(static_cast<int>(fd)))
            continue;
        char link[64], path[PATH_MAX];
        std::snprintf(link, sizeof link, "/proc/self/fd/%ld", fd);
        ssize_t length = readlink(link, path, sizeof path - 1);
        SayTraceIsEvidence(length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string(link));
    }
    closedir(held);
}
