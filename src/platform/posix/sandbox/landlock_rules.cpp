#include "platform/posix/sandbox/landlock_rules.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/sandbox/landlock_layout.h"

namespace {

std::uint64_t HandledFs(int abi)
{
    std::uint64_t rights = kLandlockAbi1Rights;
    if (abi >= 2)
        rights |= kLandlockRefer;
    if (abi >= 3)
        rights |= kLandlockTruncate;
    if (abi >= 5)
        rights |= kLandlockIoctlDev;
    return rights;
}

std::size_t AttrSize(int abi)
{
    return abi >= 6 ? sizeof(LandlockRulesetAttr) : abi >= 4 ? 2 * sizeof(std::uint64_t) : sizeof(std::uint64_t);
}

} // namespace

int LandlockAbi()
{
    long abi = syscall(kLandlockCreateRuleset, nullptr, 0, kLandlockCreateRulesetVersion);
    return abi < 0 ? 0 : static_cast<int>(abi);
}

bool RestrictToReading(const char *const *readable, std::size_t count, int abi)
{
    LandlockRulesetAttr attr = {HandledFs(abi), 0, 0};
    if (abi >= 4)
        attr.handledAccessNet = kLandlockNetBindTcp | kLandlockNetConnectTcp;
    if (abi >= 6)
        attr.scoped = kLandlockScopeAbstractUnix | kLandlockScopeSignal;
    long ruleset = syscall(kLandlockCreateRuleset, &attr, AttrSize(abi), 0);
    if (ruleset < 0)
        return false;
    int fd = static_cast<int>(ruleset);
    for (std::size_t i = 0; i < count; ++i) {
        int path = open(readable[i], O_PATH | O_CLOEXEC);
        struct stat info;
        if (path < 0)
            continue;
        if (fstat(path, &info) == 0) {
            // A file may only be read; a folder also listed, with all below it.
            LandlockPathBeneathAttr rule = {kLandlockReadFile | (S_ISDIR(info.st_mode) ? kLandlockReadDir : 0), path};
            syscall(kLandlockAddRule, fd, kLandlockRulePathBeneath, &rule, 0);
        }
        close(path);
    }
    bool restricted = syscall(kLandlockRestrictSelf, fd, 0) == 0;
    int error = errno;
    close(fd);
    errno = error;
    return restricted;
}
