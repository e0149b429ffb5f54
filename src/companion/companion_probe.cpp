#include "companion/companion_probe.h"

#include "common/exit_codes.h"
#include "platform/win32.h"
#include "registry/read_reg_string.h"

namespace {

const char CompanionKey[] = "Software\\KALVORA\\KALVORA PXM";
const char CompanionValue[] = "version";
const char InstalledAtom[] = "PXM INSTALLED 1";
const char AbsentAtom[] = "PXM INSTALLED 0";

} // namespace

int IsCompanionInstalled()
{
    char version[128]; // only its presence matters
    return ReadRegString(HKEY_LOCAL_MACHINE, CompanionKey, CompanionValue, version);
}

int RunCompanionProbe()
{
    // The atom outlives the process so that other programs can look it up;
    // a failure to add it does not change the answer.
    if (IsCompanionInstalled()) {
        GlobalAddAtomA(InstalledAtom);
        return ExitCompanionInstalled;
    }
    GlobalAddAtomA(AbsentAtom);
    return ExitCompanionAbsent;
}
