#include "platform/posix/sandbox/child_lockdown.h"

#include <sys/prctl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/posix/sandbox/landlock_rules.h"
#include "platform/posix/sandbox/seccomp_rules.h"

void LockDownChild(const char *const *readable, std::size_t count, LockdownReport &report)
{
    report = LockdownReport();
    // Both of the others need it, and a setuid program run from here gains nothing.
    report.noNewPrivileges = prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
    int noPrivsError = errno;
    report.landlockAbi = LandlockAbi();
    int landlockError = report.landlockAbi == 0 ? ENOSYS : 0;
    if (report.noNewPrivileges && report.landlockAbi > 0) {
        report.landlock = RestrictToReading(readable, count, report.landlockAbi);
        landlockError = report.landlock ? 0 : errno;
    }
    int seccompError = 0;
    if (report.noNewPrivileges) {
        report.seccomp = FilterSystemCalls();
        seccompError = report.seccomp ? 0 : errno;
    }
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
}
