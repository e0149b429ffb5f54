#include "platform/posix/base/trace_start.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/posix/base/error_line.h"
#include "platform/posix/base/line_diverter.h"
#include "platform/posix/base/owned_fd.h"
#include "platform/posix/base/trace_line.h"

namespace {

// The trace's file as the kernel knows it; a child inherits it, to check
// its own opens against.
struct TraceFile {
    bool known = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string setting;
    bool stoppedAsEvidence = false;
    bool evidenceSaid = false;
};

TraceFile Traced;

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

// Appending to a file that holds something else would spoil it: only an
// empty file, or one that begins as a trace does, is taken.
bool BeginsAsTrace(int appending, const char *path)
{
    struct stat info, reopened;
    if (fstat(appending, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0)
        return true;
    OwnedFd fd(open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    char first = 0;
    return fd.Valid() && fstat(fd.fd, &reopened) == 0 && reopened.st_dev == info.st_dev &&
           reopened.st_ino == info.st_ino && pread(fd.fd, &first, 1, 0) == 1 && first == '{';
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
    if (!BeginsAsTrace(fd, setting)) {
        close(fd);
        PrintErrorLine(named + " holds something other than a trace (it does not begin with '{'), which is never "
                               "written; tracing nothing");
        return;
    }
    struct stat info;
    if (fstat(fd, &info) == 0)
        Traced = TraceFile{true, info.st_dev, info.st_ino, setting, false, false};
    TraceFd = fd;
}

void StopTrace()
{
    ReleaseTrace();
    if (TraceFd > STDERR_FILENO)
        close(TraceFd);
    TraceFd = TraceNotStarted;
    Traced = TraceFile();
}

bool TraceFileKnown()
{
    return Traced.known;
}

bool IsTraceFile(int fd)
{
    struct stat info;
    return Traced.known && fstat(fd, &info) == 0 && info.st_dev == Traced.device && info.st_ino == Traced.inode;
}

void SayTraceIsEvidence(const std::string &path)
{
    StopTraceAsEvidence("DOROVIVI_TRACE=" + Traced.setting + " is the evidence file " + path +
                        ", which is never written; tracing nothing");
}

void StopTraceAsEvidence(const std::string &line)
{
    // A child holds no trace: the program does, and is told once.
    if (DivertedLines() != nullptr) {
        if (Traced.known && !line.empty())
            DivertedLines()(LineKind::TraceOff, line);
        Traced.known = false;
        return;
    }
    // Without a trace file there is nothing to stop: a child that says so
    // anyway is not believed.
    if (Traced.known) {
        Traced.known = false;
        Traced.stoppedAsEvidence = true;
        DropHeldTrace();
        close(TraceFd);
        TraceFd = -1;
    }
    if (Traced.stoppedAsEvidence && !Traced.evidenceSaid && !line.empty()) {
        Traced.evidenceSaid = true;
        PrintErrorLine(line);
    }
}
