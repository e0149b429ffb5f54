// The image is read in a child process under a CPU and time limit: libtsk
// and the container libraries have crashed and hung on hostile input, and
// a child that does either costs one line on stderr, not the answer. The
// child copies the chosen registry files into memory files the parent made
// before the fork, and sends back one small record through a pipe.
#include "platform/posix/image/disk_image.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/posix/error_line.h"
#include "platform/posix/image/disk_volumes.h"
#include "platform/posix/image/image_tree.h"
#include "platform/posix/installation_choice.h"

namespace {

// A damaged image can make a reader loop; a sound one is read in
// milliseconds, so these are far from any real run.
const int ChildCpuSeconds = 10;
const int ChildWallSeconds = 20;

// What the child found, as plain bytes through the pipe.
struct ImageAnswer {
    int kind; // InstallationKind
    char registryName[1024];
    char softwareName[1024];
    char problem[2048]; // when no installation was chosen
    char notes[2048];   // lines for stderr about partitions that were not read, each ended by '\n'
};

void Copy(char *target, std::size_t capacity, const std::string &text)
{
    std::snprintf(target, capacity, "%s", text.c_str());
}

// Everything between opening the image and copying the registry files.
void ReadImage(const std::string &root, const std::string &windir, int registryFd, int softwareFd, ImageAnswer &answer)
{
    std::string problem;
    std::vector<std::string> notes;
    const TskFunctions *tsk = TskLibrary(problem);
    TSK_IMG_INFO *image = nullptr;
    std::vector<DiskVolume> disk;
    if (tsk == nullptr || !OpenDiskImage(tsk, root, image, problem) || !ListDiskVolumes(tsk, image, disk, problem)) {
        Copy(answer.problem, sizeof answer.problem, problem);
        return;
    }
    std::vector<std::unique_ptr<ImageTree>> trees;
    std::vector<Volume> volumes;
    std::size_t active = disk.size();
    for (const DiskVolume &one : disk) {
        std::string label = "partition(" + std::to_string(one.partition) + ")";
        if (one.fs == nullptr) {
            std::string type = one.description.empty() ? "" : " (" + one.description + ")";
            notes.push_back(label + type + ": no FAT or NTFS file system read there");
            continue;
        }
        if (one.active)
            active = volumes.size();
        trees.emplace_back(new ImageTree(tsk, one.fs, label));
        volumes.push_back(Volume{trees.back().get(), one.partition});
    }
    Choice choice;
    if (!volumes.empty())
        choice = ChooseInstallation(volumes, active, windir);
    else if (notes.empty())
        choice.problem = "no FAT or NTFS file system";
    if (choice.chosen) {
        const ImageTree &tree = *trees[choice.one.volume];
        std::string registryName = root + ": " + tree.Describe(choice.one.registryFile);
        std::string softwareName = root + ": " + tree.Describe(choice.one.softwareHive);
        bool copied = tree.CopyTo(choice.one.registryFile, registryFd, problem);
        if (copied && choice.one.kind == InstallationKind::WindowsNt) {
            copied = tree.CopyTo(choice.one.softwareHive, softwareFd, problem);
            if (!copied)
                registryName = softwareName;
        }
        if (copied) {
            answer.kind = static_cast<int>(choice.one.kind);
            Copy(answer.registryName, sizeof answer.registryName, registryName);
            Copy(answer.softwareName, sizeof answer.softwareName, softwareName);
            std::string lines;
            for (const std::string &note : notes)
                lines += note + "\n";
            Copy(answer.notes, sizeof answer.notes, lines);
            return;
        }
        choice.problem = registryName.substr(root.size() + 2) + ": " + problem;
    }
    // Unread partitions explain an empty answer: they go into its one line.
    std::string line;
    for (const std::string &note : notes)
        line += (line.empty() ? "" : "; ") + note;
    if (!choice.problem.empty())
        line += (line.empty() ? "" : "; ") + choice.problem;
    Copy(answer.problem, sizeof answer.problem, line);
}

[[noreturn]] void RunChild(const std::string &root, const std::string &windir, int registryFd, int softwareFd,
                           int pipeFd)
{
    struct rlimit cpu = {ChildCpuSeconds, ChildCpuSeconds};
    setrlimit(RLIMIT_CPU, &cpu);
    // A crash leaves no core file behind: nothing is written anywhere.
    struct rlimit core = {0, 0};
    setrlimit(RLIMIT_CORE, &core);
    alarm(ChildWallSeconds);
    static ImageAnswer answer;
    answer.kind = static_cast<int>(InstallationKind::None);
    ReadImage(root, windir, registryFd, softwareFd, answer);
    const char *bytes = reinterpret_cast<const char *>(&answer);
    std::size_t done = 0;
    while (done < sizeof answer) {
        ssize_t put = write(pipeFd, bytes + done, sizeof answer - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        done += static_cast<std::size_t>(put);
    }
    // No exit handlers, no flush of stdio buffers inherited from the parent.
    _exit(0);
}

long long MillisecondsNow()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

// Reads the child's record until it is whole, the child ends, or the time is up.
bool ReadAnswer(int pipeFd, ImageAnswer &answer, bool &timedOut)
{
    char *bytes = reinterpret_cast<char *>(&answer);
    std::size_t done = 0;
    long long deadline = MillisecondsNow() + (ChildWallSeconds + 2) * 1000LL;
    timedOut = false;
    while (done < sizeof answer) {
        long long left = deadline - MillisecondsNow();
        if (left <= 0) {
            timedOut = true;
            return false;
        }
        struct pollfd waiting = {pipeFd, POLLIN, 0};
        int ready = poll(&waiting, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        ssize_t got = read(pipeFd, bytes + done, sizeof answer - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

std::string ChildFailure(int status, bool timedOut)
{
    if (timedOut || (WIFSIGNALED(status) && (WTERMSIG(status) == SIGALRM || WTERMSIG(status) == SIGXCPU)))
        return "reading the image took too long; it may be damaged";
    if (WIFSIGNALED(status))
        return std::string("reading the image failed (") + strsignal(WTERMSIG(status)) + "); it may be damaged";
    return "reading the image failed; it may be damaged";
}

void CloseIfOpen(int fd)
{
    if (fd >= 0)
        close(fd);
}

} // namespace

Installation FindInDiskImage(const std::string &root, const std::string &windir)
{
    Installation result;
    int registryFd = memfd_create("dorovivi-registry", MFD_CLOEXEC);
    int softwareFd = memfd_create("dorovivi-software", MFD_CLOEXEC);
    int pipeFds[2] = {-1, -1};
    pid_t child = -1;
    if (registryFd < 0 || softwareFd < 0 || pipe2(pipeFds, O_CLOEXEC) != 0 || (child = fork()) < 0) {
        result.problem = EmptyRegistryLine(root, std::string("cannot read the image (") + std::strerror(errno) + ")");
        CloseIfOpen(registryFd);
        CloseIfOpen(softwareFd);
        CloseIfOpen(pipeFds[0]);
        CloseIfOpen(pipeFds[1]);
        return result;
    }
    if (child == 0) {
        close(pipeFds[0]);
        RunChild(root, windir, registryFd, softwareFd, pipeFds[1]);
    }
    close(pipeFds[1]);
    static ImageAnswer answer;
    std::memset(&answer, 0, sizeof answer);
    bool timedOut = false;
    bool whole = ReadAnswer(pipeFds[0], answer, timedOut);
    close(pipeFds[0]);
    if (!whole)
        kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    answer.problem[sizeof answer.problem - 1] = '\0';
    answer.registryName[sizeof answer.registryName - 1] = '\0';
    answer.softwareName[sizeof answer.softwareName - 1] = '\0';
    answer.notes[sizeof answer.notes - 1] = '\0';
    InstallationKind kind = static_cast<InstallationKind>(answer.kind);
    bool chosen = whole && (kind == InstallationKind::Windows9x || kind == InstallationKind::WindowsNt);
    if (!chosen) {
        close(registryFd);
        close(softwareFd);
        result.problem = EmptyRegistryLine(root, whole ? std::string(answer.problem) : ChildFailure(status, timedOut));
        // An image without a chosen installation is still a Windows disk:
        // the atom table stays off it.
        result.windowsFound = true;
        return result;
    }
    for (char *line = answer.notes; *line != '\0';) {
        char *end = std::strchr(line, '\n');
        if (end == nullptr)
            break;
        *end = '\0';
        PrintErrorLine("dorovivi: " + root + ": " + line);
        line = end + 1;
    }
    result.kind = kind;
    result.windowsFound = true;
    result.registryFile = answer.registryName;
    result.registryFd = registryFd;
    if (kind == InstallationKind::WindowsNt) {
        result.softwareHive = answer.softwareName;
        result.softwareFd = softwareFd;
    } else {
        close(softwareFd);
    }
    return result;
}
