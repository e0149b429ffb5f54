// Hyper-V's .vmcx is a binary key store whose layout Microsoft does not
// publish; guessing at it could name the wrong disk, so it is not read.
#include "platform/posix/machine/machine_formats.h"

bool ReadHyperVMachine(const MachineConfig &, const std::string &, MachineDisks &, Fault &fault)
{
    fault = {"", "a Hyper-V .vmcx (or .vmrs) is binary and undocumented, so its disks are not read here; name "
                 "the disk itself instead: the newest .avhdx of a checkpoint chain, or the .vhdx"};
    return false;
}
