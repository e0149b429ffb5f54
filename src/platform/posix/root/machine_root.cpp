#include "platform/posix/root/machine_root.h"

#include <algorithm>
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
        std::string line = disk.file + "\t" + disk.format;
        for (int parent = 0; parent < disk.parentCount; ++parent)
            line += "\t" + disk.parents[parent];
        // The list's own separators cannot stand in a name it carries.
        bool plain = line.find_first_of("\n\r") == std::string::npos &&
                     std::count(line.begin(), line.end(), '\t') == 1 + disk.parentCount;
        std::string why = !disk.fault.words.empty() ? FaultText(disk.fault)
                          : disk.file.empty()       ? "its file is not named"
                          : !plain ? "a name recorded for it holds a tab or a line break, which is not followed"
                                   : "";
        if (!why.empty()) {
            problem = "the disk at " + disk.slot + " ('" + disk.recorded + "'): " + why;
            return true;
        }
        list += line + "\n";
    }
    if (disks.count == 0)
        problem = "the machine has no disk attached" +
                  std::string(snapshot.empty() ? "" : " in snapshot '" + snapshot + "'");
    else if (list.size() >= kMachineDiskListLargest)
        problem = "the machine's disks are named at more length than is read";
    return true;
}

std::vector<RecordedDisk> MachineDisksOf(const std::string &list)
{
    std::vector<RecordedDisk> disks;
    for (std::size_t at = 0, end; (end = list.find('\n', at)) != std::string::npos; at = end + 1) {
        std::vector<std::string> fields;
        for (std::size_t from = at, tab;; from = tab + 1) {
            tab = list.find('\t', from);
            fields.push_back(list.substr(from, (tab < end ? tab : end) - from));
            if (tab >= end)
                break;
        }
        if (fields.size() >= 2 && !fields[0].empty())
            disks.push_back({fields[0], fields[1], std::vector<std::string>(fields.begin() + 2, fields.end())});
    }
    return disks;
}

void TraceMachine(const std::string &root, int format, const std::string &snapshot,
                  const std::vector<RecordedDisk> &disks, const std::vector<DiskChain> &chains)
{
    if (!Tracing())
        return;
    TraceLine event("machine");
    event.Text("config", root).Text("format", MachineFormatName(static_cast<MachineFormat>(format)));
    if (snapshot.empty())
        event.Null("snapshot");
    else
        event.Text("snapshot", snapshot);
    std::vector<std::string> files, containers;
    std::vector<std::vector<std::string>> read;
    for (const RecordedDisk &disk : disks)
        files.push_back(disk.file);
    for (const DiskChain &chain : chains) {
        containers.push_back(chain.container != nullptr ? chain.container : "");
        read.push_back(chain.files);
    }
    event.List("disks", files).List("containers", containers).Lists("chains", read).Write();
}
