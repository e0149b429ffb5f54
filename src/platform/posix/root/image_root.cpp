// The image is read in a sandboxed child, which chooses the installation,
// sends back one small record and stays alive with the image open to serve
// reads of the chosen registry files until the last of them is closed.
#include "platform/posix/root/image_root.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/posix/base/diverted_lines.h"
#include "platform/posix/base/error_line.h"
#include "platform/posix/base/trace_line.h"
#include "platform/posix/image/raw_image.h"
#include "platform/posix/image/disk_volumes.h"
#include "platform/posix/image/image_tree.h"
#include "platform/posix/image/parent_lookup.h"
#include "platform/posix/machine/xml_tree.h"
#include "platform/posix/root/image_child.h"
#include "platform/posix/root/image_logs.h"
#include "platform/posix/root/installation_choice.h"
#include "platform/posix/root/machine_disks.h"
#include "platform/posix/root/machine_root.h"
#include "platform/posix/root/volume_events.h"
#include "platform/posix/sandbox/file_broker.h"

namespace {

// A damaged image can make a reader loop; a sound one is read in
// milliseconds, so these are far from any real run.
const int ChildCpuSeconds = 10;
const int ChildWallSeconds = 20;

// A hive whose first page cannot be read is said now, where a split image's
// missing segment can still be named, and not at the first read.
bool FirstPageReads(const ImageOpenFiles &open, std::uint32_t number, Fault &fault)
{
    static char page[kImagePageSize];
    if (open.tree->ReadAt(open.files[number], 0, page, sizeof page) >= 0)
        return true;
    fault.words = "cut short or unreadable at byte 0";
    return false;
}

// Everything between opening the image and opening the registry files.
void ReadImage(const std::string &root, const std::string &windir, ImageWork &work, ImageAnswer &answer)
{
    Fault fault;
    std::vector<std::string> notes, chainNotes;
    if (work.disks.empty() && ReadMachineConfiguration(root, work.snapshot != nullptr ? *work.snapshot : "", answer))
        return;
    const TskFunctions *tsk = TskLibrary(fault);
    std::vector<DiskVolume> disk;
    std::vector<std::string> disks = work.disks.empty() ? std::vector<std::string>{root} : work.disks;
    bool opened = tsk != nullptr && OpenMachineDisks(tsk, disks, !work.disks.empty(), work.images, disk, chainNotes, notes, fault);
    std::string lines;
    for (const std::string &note : chainNotes)
        lines += note + "\n";
    answer.notes.Put(lines);
    if (!opened) {
        answer.problem.Put(FaultText(fault));
        return;
    }
    std::vector<std::unique_ptr<ImageTree>> &trees = work.trees;
    std::vector<Volume> volumes;
    std::size_t active = disk.size();
    for (const DiskVolume &one : disk) {
        // Windows' own partitions on a GPT disk hold no installation: an empty one is no damage.
        if (one.fs == nullptr && one.windowsOwn != nullptr)
            continue;
        std::string label = VolumeLabel(one);
        if (one.fs == nullptr) {
            std::string type = one.description.empty() ? "" : " (" + one.description + ")";
            // A GPT entry's name is the disk's own: no line end of it splits the answer's line.
            for (char &c : type)
                c = c == '\n' || c == '\r' ? '?' : c;
            notes.push_back(label + type + ": no FAT or NTFS file system read there");
            continue;
        }
        if (one.active && one.disk == 0)
            active = volumes.size(); // the boot disk's
        trees.emplace_back(new ImageTree(tsk, one.fs, label));
        volumes.push_back(Volume{trees.back().get(), one.partition, one.disk});
    }
    Choice choice;
    if (!volumes.empty())
        choice = ChooseInstallation(volumes, active, windir);
    else if (notes.empty())
        choice.problem = "no FAT or NTFS file system";
    notes.insert(notes.end(), choice.notes.begin(), choice.notes.end());
    TraceDiskVolumes(disk, volumes, choice.found);
    if (choice.chosen) {
        const ImageTree &tree = *trees[choice.one.volume];
        ImageFileRecord &files = answer.files;
        bool nt = choice.one.kind == InstallationKind::WindowsNt;
        std::uint32_t failed = kImageRegistryFile;
        bool opened = OpenImageFile(tree, root, choice.one.registryFile, failed, work.open, files, fault) &&
                      FirstPageReads(work.open, failed, fault);
        if (opened && choice.one.softwareMissing) {
            ImageFileAnswer &software = files.files[kImageSoftwareHive];
            software.name.Put(root + ": " + tree.Describe(choice.one.softwareHive));
            software.unopened.Put(kHiveMissing);
        } else if (opened && nt) {
            failed = kImageSoftwareHive;
            opened = OpenImageFile(tree, root, choice.one.softwareHive, failed, work.open, files, fault) &&
                     FirstPageReads(work.open, failed, fault);
        }
        if (opened && nt)
            OpenImageLogs(tree, root, choice.one, work.open, files);
        if (opened) {
            answer.kind = static_cast<int>(choice.one.kind);
            for (const std::string &note : notes)
                lines += note + "\n";
            answer.notes.Put(lines);
            answer.windir.Put(InstallationName(volumes[choice.one.volume], choice.one.dir));
            answer.chosenBy.Put(choice.chosenBy);
            return;
        }
        choice.problem = FaultText(fault);
        std::string missing = SegmentAfterSplitImage(work.images[volumes[choice.one.volume].disk]);
        if (!missing.empty())
            choice.problem += " (the split image has no segment " + missing + ")";
    }
    // Unread partitions explain an empty answer: they go into its one line.
    std::string line;
    for (const std::string &note : notes)
        line += (line.empty() ? "" : "; ") + note;
    if (!choice.problem.empty())
        line += (line.empty() ? "" : "; ") + choice.problem;
    answer.problem.Put(line);
}

// Before the child may open anything: the readers an image may need, and
// room for a descriptor per segment of a long split image.
void PrepareImageChild(void *)
{
    Fault fault;
    LoadImageLibraries(fault); // one missing is said when its kind is read
    LoadXmlReader(fault);
    struct rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
}

// One image child over `work`: it opens no file itself, and reads the
// image's files (its parents, segments and extents, a machine's disks) from
// descriptors this process opens within `scope` and hands over.
SandboxOutcome StartImageChild(ImageWork &work, const BrokerScope &scope, SandboxUse use, ImageServer &server,
                               ImageAnswer &answer)
{
    static const char *const nothing[] = {nullptr};
    std::memset(&answer, 0, sizeof answer);
    SandboxLimits limits{ChildCpuSeconds, ChildWallSeconds, nullptr, use};
    limits.readableWhileWorking = nothing;
    limits.readableWorkingCount = 0;
    limits.beforeLockdown = PrepareImageChild;
    limits.broker = &scope;
    SandboxOutcome outcome = StartSandboxedServer(ReadImageInChild, ServeInChild, &work, &answer, sizeof answer,
                                                  limits, server.sandboxed);
    for (const auto &line : server.sandboxed.startLines)
        WriteDivertedLine(line.first, line.second);
    return outcome;
}

} // namespace

void ReadImageInChild(void *context, void *record)
{
    ImageWork &work = *static_cast<ImageWork *>(context);
    ImageAnswer &answer = *static_cast<ImageAnswer *>(record);
    answer.kind = static_cast<int>(InstallationKind::None);
    ReadImage(*work.root, *work.windir, work, answer);
}

void ServeInChild(void *context, const ServerRequest &request, ServerReplyHeader &reply, void *payload)
{
    ServeImageFile(&static_cast<ImageWork *>(context)->open, request, reply, payload);
}

Installation FindInDiskImage(const std::string &root, const std::string &windir, SandboxUse use)
{
    Installation result;
    static ImageAnswer answer;
    const char *named = std::getenv("DOROVIVI_SNAPSHOT");
    std::string snapshot = named != nullptr ? named : "";
    ImageWork work = {&root, &windir, {}, {}, {}, {}, &snapshot};
    std::shared_ptr<ImageServer> server = std::make_shared<ImageServer>();
    server->root = root;
    BrokerScope scope{FolderOf(root), BrokerReach::FolderAndAbove, {}};
    SandboxOutcome outcome = StartImageChild(work, scope, use, *server, answer);
    if (outcome.end == SandboxEnd::Answered && answer.machine != 0 && answer.problem.Empty()) {
        // A machine's disks are read by a child of their own, which may ask
        // for them and for their chains' files beside them.
        work.disks = MachineDisksOf(answer);
        TraceMachine(root, answer.machine, snapshot, work.disks);
        for (const std::string &disk : work.disks)
            scope.alsoFolders.push_back(FolderOf(disk));
        server = std::make_shared<ImageServer>(); // the configuration's child goes
        server->root = root;
        outcome = StartImageChild(work, scope, use, *server, answer);
    } else if (outcome.end == SandboxEnd::Answered && answer.machine == 0 && !snapshot.empty()) {
        PrintErrorLine(root + ": DOROVIVI_SNAPSHOT=" + snapshot + " names a snapshot of a virtual machine's "
                       "configuration; this root is a disk image, read as it is");
    }
    bool whole = outcome.end == SandboxEnd::Answered;
    result.readInChild = whole;
    result.childLockdown = server->sandboxed.lockdown;
    const char *missing = server->sandboxed.lockdown.missing;
    if (whole && missing[0] != '\0' && use == SandboxUse::Required) {
        result.problem = EmptyRegistryLine(root, std::string("DOROVIVI_SANDBOX=required, but the image reader's "
                                                             "sandbox would be partial: ") + missing);
        result.windowsFound = true; // unread, it may still be a Windows disk: the atom table stays off it
        return result;
    }
    InstallationKind kind = static_cast<InstallationKind>(answer.kind);
    bool chosen = whole && (kind == InstallationKind::Windows9x || kind == InstallationKind::WindowsNt);
    std::string notes = whole ? answer.notes.Take() : "";
    for (std::size_t at = 0, end; (end = notes.find('\n', at)) != std::string::npos; at = end + 1)
        PrintErrorLine(root + ": " + notes.substr(at, end - at));
    if (!chosen) {
        result.problem =
            EmptyRegistryLine(root, whole ? answer.problem.Take() : ChildFailure(outcome, "the image"));
        // An image without a chosen installation is still a Windows disk:
        // the atom table stays off it.
        result.windowsFound = true;
        return result; // the child goes with `server`
    }
    if (Tracing())
        TraceLine("installation").Text("windir", answer.windir.Take()).Text("chosen_by", answer.chosenBy.Take()).Write();
    result.kind = kind;
    result.windowsFound = true;
    result.registry = TakeImageFile(server, answer.files, kImageRegistryFile);
    if (kind == InstallationKind::WindowsNt) {
        result.software = TakeImageFile(server, answer.files, kImageSoftwareHive);
        TakeImageLogs(server, answer.files, result);
    }
    return result;
}
