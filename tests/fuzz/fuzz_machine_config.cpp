// Any bytes as a virtual machine's configuration, read by whichever reader
// the content calls for: each must give at most 64 disks whose files are
// bounded and never climb or name a device, or refuse with one line. The
// first byte chooses the snapshot asked for, and whether a storage.cfg
// follows the configuration after a NUL.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/posix/machine/machine_config.h"

namespace {

const char *const Snapshots[] = {"", "1", "snap", "{1}"};
const unsigned WithStorage = 4;

bool OneLine(const Fault &fault)
{
    return FaultText(fault).find_first_of("\r\n") == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    unsigned choice = data[0];
    std::string bytes(reinterpret_cast<const char *>(data) + 1, size - 1), storage;
    std::size_t nul = bytes.find('\0');
    if ((choice & WithStorage) != 0 && nul != std::string::npos) {
        storage = bytes.substr(nul + 1);
        bytes.resize(nul);
    }
    MachineConfig config = {bytes.data(), bytes.size(), "/vm",
                            (choice & WithStorage) != 0 ? storage.data() : nullptr, storage.size(),
                            "/etc/pve/storage.cfg"};
    auto disks = std::make_unique<MachineDisks>();
    Fault fault;
    if (!ReadMachineDisks(config, Snapshots[choice & 3], *disks, fault)) {
        if (fault.words.empty() || !OneLine(fault))
            std::abort();
        return 0;
    }
    if (disks->count < 0 || disks->count > kMaxMachineDisks)
        std::abort();
    for (int i = 0; i < disks->count; ++i) {
        const MachineDisk &disk = disks->disk[i];
        const std::string &file = disk.file;
        if (file.size() > kMaxMachinePath || disk.parentCount > kMaxMachineParents || !OneLine(disk.fault))
            std::abort();
        if (!file.empty() && (file[0] != '/' || file.rfind("/dev/", 0) == 0 || file.find("/../") != std::string::npos ||
                              (file.size() >= 3 && file.compare(file.size() - 3, 3, "/..") == 0)))
            std::abort();
    }
    return 0;
}
