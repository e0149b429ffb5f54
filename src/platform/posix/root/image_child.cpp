// The image child's reading: every disk opened, the installation chosen
// across them, its registry files opened to be served.
#include "platform/posix/root/image_child.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/posix/base/diverted_lines.h"
#include "platform/posix/base/evidence_file.h"
#include "platform/posix/base/owned_fd.h"
#include "platform/posix/base/error_line.h"
#include "platform/posix/base/trace_line.h"
#include "platform/posix/image/raw_image.h"
#include "platform/posix/image/disk_volumes.h"
#include "platform/posix/image/image_tree.h"
#include "platform/posix/image/parent_lookup.h"
#include "platform/posix/root/image_child.h"
#include "platform/posix/root/image_logs.h"
#include "platform/posix/root/installation_choice.h"
#include "platform/posix/root/machine_disks.h"
#include "platform/posix/root/machine_root.h"
#include "platform/posix/root/state_choice.h"
#include "platform/posix/root/volume_events.h"
#include "platform/posix/sandbox/file_broker.h"

namespace {

// The keys go once the volumes they open are open: what reads them holds its own.
struct KeysWipedAtEnd {
    VolumeKeys &keys;
    ~KeysWipedAtEnd() { WipeVolumeKeys(keys); }
};


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
    // A root read alone is opened once, whether it is a disk or a machine's configuration.
    OwnedFd held(work.disks.empty() ? OpenEvidenceFile(root) : -1);
    std::string list, problem;
    if (ReadMachineConfiguration(held.fd, root, work.snapshot != nullptr ? *work.snapshot : "", answer.machine, list,
                                 problem)) {
        answer.machineDisks.Put(problem.empty() ? list : "");
        answer.problem.Put(OneLine(problem));
        return;
    }
    const TskFunctions *tsk = TskLibrary(fault);
    std::vector<DiskVolume> disk;
    std::vector<std::string> disks = work.disks.empty() ? std::vector<std::string>{root} : work.disks;
    std::vector<DiskChain> chains;
    VolumeKeys keys;
    KeysWipedAtEnd wiped{keys};
    const char *keysFile = std::getenv("DOROVIVI_KEYS");
    keys.keysFile = keysFile != nullptr ? keysFile : "";
    keys.cryptoLoaded = work.cryptoReader;
    bool opened = tsk != nullptr && OpenMachineDisks(tsk, disks, !work.disks.empty(), held.fd, work.images, disk,
                                                     chains, chainNotes, notes, fault, &keys);
    for (const DiskVolume &one : disk)
        if (one.layer != nullptr)
            work.layers.push_back(one.layer);
    // A disk that is not the configuration's says so before whatever else is wrong with it.
    std::string lines, differs = RecordedChainsDiffer(work.recorded, chains);
    chainNotes.insert(chainNotes.end(), keys.lines.begin(), keys.lines.end());
    for (const std::string &note : chainNotes)
        lines += OneLine(note) + "\n"; // names from the images' own records may hold a line break
    answer.notes.Put(lines);
    // Read again by a child that loads the reader first.
    answer.dynamicDisks =
        opened && differs.empty() && !AddDynamicVolumes(tsk, work.images, work.dynamicReader, disk, notes);
    answer.bitlocker = keys.cryptoWanted;
    if (answer.dynamicDisks != 0 || answer.bitlocker != 0)
        return;
    if (!work.disks.empty())
        TraceMachine(root, work.machineFormat, work.snapshot != nullptr ? *work.snapshot : "", work.recorded, chains);
    if (!opened || !differs.empty()) {
        answer.problem.Put(OneLine(!differs.empty() ? differs : FaultText(fault)));
        return;
    }
    std::vector<std::unique_ptr<ImageTree>> &trees = work.trees;
    std::vector<Volume> volumes;
    std::vector<std::size_t> diskOf; // each volume's place in `disk`
    std::size_t active = disk.size();
    for (const DiskVolume &one : disk) {
        // Windows' own partitions on a GPT disk hold no installation: an empty one is no damage.
        if (one.fs == nullptr && one.windowsOwn != nullptr)
            continue;
        std::string label = VolumeLabel(one);
        if (one.fs == nullptr && !one.locked.empty()) {
            notes.push_back(label + ": " + one.locked);
            continue;
        }
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
        diskOf.push_back(static_cast<std::size_t>(&one - disk.data()));
        volumes.push_back(Volume{trees.back().get(), one.partition, one.disk, one.dynamic});
    }
    Choice choice;
    if (!volumes.empty())
        choice = ChooseInstallation(volumes, active, windir);
    else if (notes.empty())
        choice.problem = "no FAT or NTFS file system";
    notes.insert(notes.end(), choice.notes.begin(), choice.notes.end());
    TraceDiskVolumes(disk, volumes, choice.found);
    StateFacts state;
    const FileTree *from = nullptr;
    if (choice.chosen && !work.state.empty()) {
        std::vector<InstallationState> shadows;
        const DiskVolume &on = disk[diskOf[choice.one.volume]];
        AddShadowStates(tsk, disk, diskOf[choice.one.volume], VolumeLabel(on), choice.one, work.shadows, shadows,
                        notes);
        choice.chosen = TakeState(*trees[choice.one.volume], work.state, shadows, choice.one, from, state,
                                  choice.problem);
    }
    PutStateRecord(state, answer.state);
    if (choice.chosen) {
        const ImageTree *shadow = ShadowTreeOf(work.shadows, from);
        const ImageTree &tree = shadow != nullptr ? *shadow : *trees[choice.one.volume];
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
                lines += OneLine(note) + "\n";
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
    answer.problem.Put(OneLine(line));
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
