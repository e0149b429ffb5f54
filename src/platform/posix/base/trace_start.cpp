#include "platform/posix/base/trace_start.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/posix/base/error_line.h"
#include "platform/posix/base/trace_line.h"

namespace {

std::string RealPath(const std::string &path)
{
    char real[PATH_MAX];
    return realpath(path.c_str(), real) != nullptr ? real : "";
}

std::string DirectoryOf(const std::string &path)
{
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Where `path` would be written: its real path when it exists (a link into
// the root counts as the root), else its directory's real path and its
// name; a dangling link is followed, as open(O_CREAT) follows it.
std::string RealTarget(std::string path)
{
    for (int links = 0; links < 40; ++links) {
        std::string real = RealPath(path);
        if (!real.empty())
            return real;
        char target[PATH_MAX];
        ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
        if (length < 0)
            break;
        std::string next(target, static_cast<std::size_t>(length));
        path = next[0] == '/' ? next : DirectoryOf(path) + "/" + next;
    }
    std::string dir = RealPath(DirectoryOf(path));
    if (dir.empty())
        return "";
    std::size_t slash = path.find_last_of('/');
    return (dir == "/" ? "" : dir) + "/" + (slash == std::string::npos ? path : path.substr(slash + 1));
}

// Split raw and E01 images go on in files named as the first with the next
// number: disk.001, disk.002; disk.E01, disk.E02.
bool LooksLikeSegmentOf(const std::string &target, const std::string &image)
{
    std::size_t dot = target.find_last_of("./"), imageDot = image.find_last_of("./");
    auto numbered = [](const std::string &name, std::size_t at) {
        return at != std::string::npos && name[at] == '.' && name.size() - at == 4 &&
               name[at + 2] >= '0' && name[at + 2] <= '9' && name[at + 3] >= '0' && name[at + 3] <= '9';
    };
    return numbered(target, dot) && numbered(image, imageDot) && target.compare(0, dot, image, 0, imageDot) == 0;
}

} // namespace

std::string TracePathRefusal(const std::string &path, const std::string &root)
{
    struct stat rootInfo, info;
    std::string target = RealTarget(path);
    bool exists = !target.empty() && stat(target.c_str(), &info) == 0;
    if (exists && S_ISBLK(info.st_mode))
        return "is a block device"; // appending would write over the disk
    std::string realRoot = RealPath(root);
    if (realRoot.empty() || target.empty() || stat(realRoot.c_str(), &rootInfo) != 0)
        return ""; // nothing there to protect, or nowhere to write
    if (exists && info.st_dev == rootInfo.st_dev && info.st_ino == rootInfo.st_ino)
        return "is the system root " + root; // under any name
    if (S_ISDIR(rootInfo.st_mode)) {
        std::string dir = DirectoryOf(target);
        bool inside = realRoot == "/" || dir == realRoot || dir.compare(0, realRoot.size() + 1, realRoot + "/") == 0;
        return inside ? "lies inside the system root " + root : "";
    }
    return LooksLikeSegmentOf(target, realRoot) ? "is a segment of the system root's image " + root : "";
}

void StartTrace(const std::string &root)
{
    if (TraceFd != TraceNotStarted)
        return;
    TraceFd = -1;
    const char *setting = std::getenv("DOROVIVI_TRACE");
    if (setting == nullptr || setting[0] == '\0')
        return;
    if (TraceSettingIsStderr()) {
        TraceFd = STDERR_FILENO;
        return;
    }
    std::string named = std::string("DOROVIVI_TRACE=") + setting;
    std::string refusal = TracePathRefusal(setting, root);
    if (!refusal.empty()) {
        PrintErrorLine(named + " " + refusal + ", which is never written; tracing nothing");
        return;
    }
    int fd = open(setting, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        PrintErrorLine(named + ": " + std::strerror(errno) + "; tracing nothing");
        return;
    }
    TraceFd = fd;
}

void StopTrace()
{
    if (TraceFd > STDERR_FILENO)
        close(TraceFd);
    TraceFd = TraceNotStarted;
}
