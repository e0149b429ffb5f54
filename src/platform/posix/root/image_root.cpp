// The image is read in a sandboxed child, which copies the chosen registry
// files into memory files made before the fork and sends back one small
// record.
#include "platform/posix/root/image_root.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/posix/base/error_line.h"
#include "platform/posix/base/trace_line.h"
#include "platform/posix/image/disk_container.h"
#include "platform/posix/image/disk_volumes.h"
#include "platform/posix/image/image_tree.h"
#include "platform/posix/root/image_logs.h"
#include "platform/posix/root/installation_choice.h"
#include "platform/posix/sandbox/sandboxed_call.h"

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
    char notes[2048];   // lines for stderr, each ended by '\n': faults in the chain's files read past (always),
                        // then partitions that were not read (when an installation was chosen)
    // For the trace: the chosen file system and how DOROVIVI_WINDIR names the installation.
    int partition;
    char fileSystem[8];
    long long offset; // bytes into the disk
    char windir[1024];
    char chosenBy[16];
    ImageLogRecord logs; // NT: the transaction logs beside the hives
};

const char *FileSystemName(TSK_FS_TYPE_ENUM type)
{
    const struct {
        TSK_FS_TYPE_ENUM type;
        const char *name;
    } Names[] = {{TSK_FS_TYPE_FAT12, "fat12"}, {TSK_FS_TYPE_FAT16, "fat16"}, {TSK_FS_TYPE_FAT32, "fat32"},
                 {TSK_FS_TYPE_EXFAT, "exfat"}, {TSK_FS_TYPE_NTFS, "ntfs"}};
    for (const auto &one : Names)
        if (one.type == type)
            return one.name;
    return "other";
}

void Copy(char *target, std::size_t capacity, const std::string &text)
{
    std::snprintf(target, capacity, "%s", text.c_str());
}

// Everything between opening the image and copying the registry files.
void ReadImage(const std::string &root, const std::string &windir, int registryFd, int softwareFd,
               const ImageLogFiles &logFiles, ImageAnswer &answer)
{
    std::string problem;
    std::vector<std::string> notes, chainNotes;
    const TskFunctions *tsk = TskLibrary(problem);
    TSK_IMG_INFO *image = nullptr;
    std::vector<DiskVolume> disk;
    bool opened = tsk != nullptr && OpenDiskImage(tsk, root, image, chainNotes, problem);
    std::string lines;
    for (const std::string &note : chainNotes)
        lines += note + "\n";
    Copy(answer.notes, sizeof answer.notes, lines);
    if (!opened || !ListDiskVolumes(tsk, image, disk, notes, problem)) {
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
        if (copied && choice.one.kind == InstallationKind::WindowsNt)
            CopyImageLogs(tree, root, choice.one, logFiles, answer.logs);
        if (copied) {
            answer.kind = static_cast<int>(choice.one.kind);
            Copy(answer.registryName, sizeof answer.registryName, registryName);
            Copy(answer.softwareName, sizeof answer.softwareName, softwareName);
            for (const std::string &note : notes)
                lines += note + "\n";
            Copy(answer.notes, sizeof answer.notes, lines);
            answer.partition = volumes[choice.one.volume].partition;
            Copy(answer.fileSystem, sizeof answer.fileSystem, FileSystemName(tree.fs->ftype));
            answer.offset = static_cast<long long>(tree.fs->offset);
            Copy(answer.windir, sizeof answer.windir, InstallationName(volumes[choice.one.volume], choice.one.dir));
            Copy(answer.chosenBy, sizeof answer.chosenBy, choice.chosenBy);
            return;
        }
        choice.problem = registryName.substr(root.size() + 2) + ": " + problem;
        std::string missing = SegmentAfterSplitImage(image);
        if (!missing.empty())
            choice.problem += " (the split image has no segment " + missing + ")";
    }
    // Unread partitions explain an empty answer: they go into its one line.
    std::string line;
    for (const std::string &note : notes)
        line += (line.empty() ? "" : "; ") + note;
    if (!choice.problem.empty())
        line += (line.empty() ? "" : "; ") + choice.problem;
    Copy(answer.problem, sizeof answer.problem, line);
}

struct ImageWork {
    const std::string *root;
    const std::string *windir;
    int registryFd;
    int softwareFd;
    const ImageLogFiles *logFiles;
};

void ReadImageInChild(void *context, void *record)
{
    const ImageWork &work = *static_cast<const ImageWork *>(context);
    ImageAnswer &answer = *static_cast<ImageAnswer *>(record);
    answer.kind = static_cast<int>(InstallationKind::None);
    ReadImage(*work.root, *work.windir, work.registryFd, work.softwareFd, *work.logFiles, answer);
}

std::string ChildFailure(const SandboxOutcome &outcome)
{
    if (outcome.end == SandboxEnd::CannotStart)
        return std::string("cannot read the image (") + std::strerror(errno) + ")";
    if (outcome.end == SandboxEnd::TimedOut)
        return "reading the image took too long; it may be damaged";
    if (outcome.end == SandboxEnd::Crashed)
        return std::string("reading the image failed (") + strsignal(outcome.signal) + "); it may be damaged";
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
    ImageLogFiles logFiles;
    if (registryFd < 0 || softwareFd < 0 || !MakeImageLogFiles(logFiles)) {
        result.problem = EmptyRegistryLine(root, std::string("cannot read the image (") + std::strerror(errno) + ")");
        CloseIfOpen(registryFd);
        CloseIfOpen(softwareFd);
        return result;
    }
    static ImageAnswer answer;
    std::memset(&answer, 0, sizeof answer);
    ImageWork work = {&root, &windir, registryFd, softwareFd, &logFiles};
    SandboxOutcome outcome = RunSandboxed(ReadImageInChild, &work, &answer, sizeof answer,
                                          SandboxLimits{ChildCpuSeconds, ChildWallSeconds});
    bool whole = outcome.end == SandboxEnd::Answered;
    answer.problem[sizeof answer.problem - 1] = '\0';
    answer.registryName[sizeof answer.registryName - 1] = '\0';
    answer.softwareName[sizeof answer.softwareName - 1] = '\0';
    answer.notes[sizeof answer.notes - 1] = '\0';
    answer.fileSystem[sizeof answer.fileSystem - 1] = '\0';
    answer.windir[sizeof answer.windir - 1] = '\0';
    answer.chosenBy[sizeof answer.chosenBy - 1] = '\0';
    InstallationKind kind = static_cast<InstallationKind>(answer.kind);
    bool chosen = whole && (kind == InstallationKind::Windows9x || kind == InstallationKind::WindowsNt);
    for (char *line = answer.notes; whole && *line != '\0';) {
        char *end = std::strchr(line, '\n');
        if (end == nullptr)
            break;
        *end = '\0';
        PrintErrorLine("dorovivi: " + root + ": " + line);
        line = end + 1;
    }
    if (!chosen) {
        close(registryFd);
        close(softwareFd);
        CloseImageLogFiles(logFiles);
        result.problem = EmptyRegistryLine(root, whole ? std::string(answer.problem) : ChildFailure(outcome));
        // An image without a chosen installation is still a Windows disk:
        // the atom table stays off it.
        result.windowsFound = true;
        return result;
    }
    if (Tracing()) {
        TraceLine("volume").Number("partition", answer.partition).Text("fs", answer.fileSystem)
            .Number("offset", answer.offset).Write();
        TraceLine("installation").Text("windir", answer.windir).Text("chosen_by", answer.chosenBy).Write();
    }
    result.kind = kind;
    result.windowsFound = true;
    result.registry.name = answer.registryName;
    result.registry.bytes = TakeFileBytes(registryFd, result.registry.unopened);
    if (kind == InstallationKind::WindowsNt) {
        result.software.name = answer.softwareName;
        result.software.bytes = TakeFileBytes(softwareFd, result.software.unopened);
        TakeImageLogs(logFiles, answer.logs, result);
    } else {
        close(softwareFd);
        CloseImageLogFiles(logFiles);
    }
    return result;
}
