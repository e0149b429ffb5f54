#include "platform/posix/root/machine_root.h"

#include <cerrno>
#include <cstring>

#include "platform/posix/base/evidence_file.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/owned_fd.h"
#include "platform/posix/base/trace_line.h"
#include "platform/posix/machine/machine_config.h"
#include "platform/posix/image/parent_lookup.h"

namespace {

const std::size_t Sniffed = 4096;

// Text, or UTF-16 with its byte-order mark, or Hyper-V's binary: a disk's
// first sectors hold NULs, and are never taken for a configuration's lines.
bool MayBeConfiguration(const char *bytes, std::size_t size)
{
    bool utf16 = size >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
    MachineFormat format = MachineFormatOf(bytes, size);
    return format != kMachineUnknown &&
           (format == kMachineHyperV || utf16 || std::memchr(bytes, '\0', size < Sniffed ? size : Sniffed) == nullptr);
}

// The whole file, up to one byte past the most a configuration holds.
bool ReadWhole(int fd, std::string &bytes)
{
    bytes.assign(kMaxMachineConfigBytes + 1, '\0');
    std::size_t got = 0;
    if (!ReadUpToAt(fd, &bytes[0], bytes.size(), 0, got))
        return false;
    bytes.resize(got);
    return true;
}

// "vm.vmx" -> "vm.vmsd", whatever the case of its ending.
std::string SnapshotListOf(const std::string &vmx)
{
    std::size_t dot = vmx.find_last_of("./");
    return (dot != std::string::npos && vmx[dot] == '.' ? vmx.substr(0, dot) : vmx) + ".vmsd";
}

} // namespace

bool ReadMachineConfiguration(int fd, const std::string &root, const std::string &snapshot, int &format,
                              std::string &list, std::string &problem)
{
    char head[Sniffed];
    std::size_t got = 0;
    if (fd < 0 || !ReadUpToAt(fd, head, sizeof head, 0, got) || !MayBeConfiguration(head, got))
        return false;
    std::string bytes, snapshots, storage;
    MachineConfig config = {nullptr, 0, FolderOf(root), nullptr, 0, ""};
    MachineDisks disks;
    Fault fault;
    format = static_cast<int>(MachineFormatOf(head, got));
    if (!ReadWhole(fd, bytes)) {
        problem = std::strerror(errno);
        return true;
    }
    config.bytes = bytes.data();
    config.size = bytes.size();
    // VMware keeps a machine's snapshots in the .vmsd beside its .vmx.
    OwnedFd listed(format == kMachineVmx && !snapshot.empty() ? OpenEvidenceFile(SnapshotListOf(root)) : -1);
    if (listed.Valid() && ReadWhole(listed.fd, snapshots)) {
        config.bytes = snapshots.data();
        config.size = snapshots.size();
    }
    if (format == kMachineProxmox) {
        config.storagePath = ProxmoxStoragePath(config.folder);
        OwnedFd cfg(OpenEvidenceFile(config.storagePath));
        if (cfg.Valid() && ReadWhole(cfg.fd, storage)) {
            config.storage = storage.data();
            config.storageSize = storage.size();
        }
    }
    if (!ReadMachineDisks(config, snapshot, disks, fault)) {
        problem = FaultText(fault);
        return true;
    }
    for (int index = 0; index < disks.count; ++index) {
        const MachineDisk &disk = disks.disk[index];
        if (!disk.fault.words.empty() || disk.file.empty()) {
            std::string why = disk.fault.words.empty() ? "its file is not named" : FaultText(disk.fault);
            problem = "the disk at " + disk.slot + " ('" + disk.recorded + "'): " + why;
            return true;
        }
        list += disk.file + "\n";
    }
    if (disks.count == 0)
        problem = "the machine has no disk attached" +
                  std::string(snapshot.empty() ? "" : " in snapshot '" + snapshot + "'");
    else if (list.size() >= kMachineDiskListLargest)
        problem = "the machine's disks are named at more length than is read";
    return true;
}

std::vector<std::string> MachineDisksOf(const std::string &list)
{
    std::vector<std::string> disks;
    for (std::size_t at = 0, end; (end = list.find('\n', at)) != std::string::npos; at = end + 1)
        if (end > at)
            disks.push_back(list.substr(at, end - at));
    return disks;
}

void TraceMachine(const std::string &root, int format, const std::string &snapshot,
                  const std::vector<std::string> &disks)
{
    if (!Tracing())
        return;
    TraceLine event("machine");
    event.Text("config", root).Text("format", MachineFormatName(static_cast<MachineFormat>(format)));
    if (snapshot.empty())
        event.Null("snapshot");
    else
        event.Text("snapshot", snapshot);
    event.List("disks", disks).Write();
}
