#include "platform/posix/sandbox/child_lockdown.h"

#include <sys/prctl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "platform/posix/sandbox/landlock_rules.h"
#include "platform/posix/sandbox/seccomp_rules.h"

namespace {

// One line of what did not hold and why; "" when all did.
void SayWhatIsMissing(LockdownReport &report, int noPrivsError, int landlockError, int seccompError)
{
    if (!report.noNewPrivileges)
        std::snprintf(report.missing, sizeof report.missing, "no_new_privs refused (%s): no Landlock, no seccomp",
                      std::strerror(noPrivsError));
    else if (!report.landlock && !report.seccomp)
        std::snprintf(report.missing, sizeof report.missing, "no Landlock (%s), no seccomp (%s)",
                      std::strerror(landlockError), std::strerror(seccompError));
    else if (!report.landlock)
        std::snprintf(report.missing, sizeof report.missing, "no Landlock (%s)", std::strerror(landlockError));
    else if (!report.seccomp)
        std::snprintf(report.missing, sizeof report.missing, "no seccomp (%s)", std::strerror(seccompError));
    else
        report.missing[0] = '\0';
}

int SeccompError = 0, NoPrivsError = 0;

} // namespace

void ForbidAllButReading(LockdownReport &report)
{
    report = LockdownReport();
    // Both halves need it, and a setuid program run from here gains nothing.
    report.noNewPrivileges = prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
    NoPrivsError = report.noNewPrivileges ? 0 : errno;
    if (report.noNewPrivileges) {
        report.seccomp = FilterSystemCalls();
        SeccompError = report.seccomp ? 0 : errno;
    }
}

void ConfineReading(const char *const *readable, std::size_t count, LockdownReport &report)
{
    report.landlockAbi = LandlockAbi();
    int landlockError = report.landlockAbi == 0 ? ENOSYS : 0;
    if (report.noNewPrivileges && report.landlockAbi > 0) {
        report.landlock = RestrictToReading(readable, count, report.landlockAbi);
        landlockError = report.landlock ? 0 : errno;
    }
    SayWhatIsMissing(report, NoPrivsError, landlockError, SeccompError);
}

void LockDownChild(const char *const *readable, std::size_t count, LockdownReport &report)
{
    ForbidAllButReading(report);
    ConfineReading(readable, count, report);
}

void MakeReportSound(LockdownReport &report)
{
    for (bool *flag : {&report.noNewPrivileges, &report.landlock, &report.seccomp}) {
        unsigned char byte = 0;
        std::memcpy(&byte, flag, 1);
        *flag = byte != 0;
    }
    report.missing[sizeof report.missing - 1] = '\0';
}
