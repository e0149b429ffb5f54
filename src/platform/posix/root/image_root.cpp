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
#include "platform/posix/bitlocker/crypto_functions.h"
#include "platform/posix/image/image_libraries.h"
#include "platform/posix/image/parent_lookup.h"
#include "platform/posix/machine/xml_tree.h"
#include "platform/posix/root/image_child.h"
#include "platform/posix/root/image_logs.h"
#include "platform/posix/root/machine_root.h"
#include "platform/posix/root/state_choice.h"
#include "platform/posix/sandbox/file_broker.h"

namespace {

// A damaged image can make a reader loop; a sound one is read in
// milliseconds, so these are far from any real run.
const int ChildCpuSeconds = 10;
const int ChildWallSeconds = 20;

// Before the child may open anything: the readers an image may need, and
// room for a descriptor per segment of a long split image.
void PrepareImageChild(void *context)
{
    Fault fault;
    LoadImageLibraries(fault); // one missing is said when its kind is read
    LoadXmlReader(fault);
    if (static_cast<ImageWork *>(context)->dynamicReader)
        LoadDynamicDiskLibrary(fault);
    if (static_cast<ImageWork *>(context)->cryptoReader)
        CryptoLibrary(fault);
    struct rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
}

// One image child over `work`: it opens no file itself, and reads the
// image's files (its parents, segments and extents, a machine's disks) from
// descriptors this process opens within `scope` and hands over.
} // namespace

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

Installation FindInDiskImage(const std::string &root, const std::string &windir, SandboxUse use)
{
    Installation result;
    static ImageAnswer answer;
    const char *named = std::getenv("DOROVIVI_SNAPSHOT");
    std::string snapshot = named != nullptr ? named : "";
    ImageWork work = {&root, &windir, {}, {}, {}, {}, &snapshot, false, StateSetting(), {}, 0, false, {}, {}};
    std::shared_ptr<ImageServer> server = std::make_shared<ImageServer>();
    server->root = root;
    BrokerScope scope{FolderOf(root), BrokerReach::FolderAndAbove, {}};
    const char *keys = std::getenv("DOROVIVI_KEYS");
    if (keys != nullptr && keys[0] != '\0')
        scope.keysFolder = FolderOf(keys);
    SandboxOutcome outcome = StartImageChild(work, scope, use, *server, answer);
    bool machine = outcome.end == SandboxEnd::Answered && answer.machine != 0;
    if (machine && answer.problem.Empty()) {
        // A machine's disks are read by a child of their own, which may ask
        // for them and for their chains' files beside them.
        work.recorded = MachineDisksOf(answer.machineDisks.Take());
        work.machineFormat = answer.machine;
        for (const RecordedDisk &disk : work.recorded) {
            work.disks.push_back(disk.file);
            scope.alsoFolders.push_back(FolderOf(disk.file));
        }
        server = std::make_shared<ImageServer>(); // the configuration's child goes
        server->root = root;
        outcome = StartImageChild(work, scope, use, *server, answer);
    }
    // A dynamic disk's reader and BitLocker's are loaded only where one is
    // met, by a child started again with it (once for each).
    for (int again = 0; again < 2 && outcome.end == SandboxEnd::Answered &&
                        (answer.dynamicDisks != 0 || answer.bitlocker != 0); ++again) {
        work.dynamicReader = work.dynamicReader || answer.dynamicDisks != 0;
        work.cryptoReader = work.cryptoReader || answer.bitlocker != 0;
        server = std::make_shared<ImageServer>();
        server->root = root;
        outcome = StartImageChild(work, scope, use, *server, answer);
    }
    if (outcome.end == SandboxEnd::Answered && !machine && !snapshot.empty()) {
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
    if (whole)
        result.state = TakeStateRecord(answer.state);
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
