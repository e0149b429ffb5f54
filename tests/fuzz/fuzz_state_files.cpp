// Any bytes as a restore point's rp.log (first byte even) or as a ScanReg
// cabinet (odd): reading must fail with words or give what the bytes hold,
// and never crash, hang or read out of bounds; a member that comes out is
// read whole.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/posix/root/cabinet_header.h"
#include "platform/posix/root/restore_point_log.h"
#include "platform/posix/sources/cabinet_member.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    Fault fault;
    if (data[0] % 2 == 0) {
        RestorePointLog log;
        ReadRestorePointLog(data + 1, size - 1, log, fault);
        return 0;
    }
    CabinetMember member;
    FindCabinetMember(data + 1, size - 1, "SYSTEM.DAT", member, fault);
    RegistryFile cabinet;
    cabinet.name = "RB000.CAB";
    cabinet.bytes = std::make_shared<MemoryFileBytes>(data + 1, size - 1);
    RegistryFile read = CabinetMemberFile(cabinet, "SYSTEM.DAT");
    static unsigned char whole[1 << 16];
    if (read.Open() && read.bytes->Size() <= sizeof whole && !read.bytes->ReadAt(0, whole, read.bytes->Size()))
        __builtin_trap();
    return 0;
}
