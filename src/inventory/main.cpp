// Asks many system roots at once: "dorovivi H" and "dorovivi @" for each,
// one table line per root in the order given.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "inventory/arguments.h"
#include "inventory/error_lines.h"
#include "inventory/scratch_directory.h"
#include "inventory/state_rows.h"
#include "inventory/table_run.h"

extern char **environ;

namespace {

void CatchSignal(int signo)
{
    CaughtSignal = signo;
}

const int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A closed standard descriptor would be reused by a pipe, and the child's
// dup2 onto that same number would keep it close-on-exec. A closed stdout
// is refused: the table would go nowhere.
bool OpenStandardDescriptors()
{
    if (fcntl(STDOUT_FILENO, F_GETFD) < 0) {
        WriteErrorLines("dorovivi-inventory: standard output is closed\n");
        return false;
    }
    for (int fd : {STDIN_FILENO, STDERR_FILENO}) {
        if (fcntl(fd, F_GETFD) < 0)
            open("/dev/null", O_RDWR);
    }
    return true;
}

// The stop signals stay blocked but while the run waits, so the scratch
// directory exists exactly while the handler's flag can get it removed.
void TakeStopSignals(sigset_t &originalMask, sigset_t &waitMask)
{
    sigset_t stopSet;
    sigemptyset(&stopSet);
    for (int signo : StopSignals)
        sigaddset(&stopSet, signo);
    sigprocmask(SIG_BLOCK, &stopSet, &originalMask);
    waitMask = originalMask;
    for (int signo : StopSignals) {
        struct sigaction previous;
        sigaction(signo, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN)
            continue; // as nohup left it
        struct sigaction action = {};
        action.sa_handler = CatchSignal;
        sigaction(signo, &action, nullptr);
        sigdelset(&waitMask, signo);
    }
    // A reader that goes away shows as a failed write instead.
    signal(SIGPIPE, SIG_IGN);
}

// Ends the way the signal would have ended it.
int EndBySignal(int signo, const sigset_t &originalMask)
{
    signal(signo, SIG_DFL);
    sigprocmask(SIG_SETMASK, &originalMask, nullptr);
    sigset_t caught;
    sigemptyset(&caught);
    sigaddset(&caught, signo);
    raise(signo);
    sigprocmask(SIG_UNBLOCK, &caught, nullptr);
    return 128 + signo;
}

} // namespace

int main(int argc, char *argv[])
{
    InventoryArguments arguments;
    if (!ParseArguments(argc, argv, arguments)) {
        WriteErrorLines(UsageLine);
        return 2;
    }
    if (!OpenStandardDescriptors())
        return 1;

    TableRun run;
    TakeStopSignals(run.childMask, run.waitMask);
    run.program = FindToolProgram();
    for (char **variable = environ; *variable != nullptr; ++variable) {
        if (std::strncmp(*variable, "DOROVIVI_ROOT=", 14) != 0 && std::strncmp(*variable, "DOROVIVI_ATOMS=", 15) != 0 &&
            (!arguments.states || std::strncmp(*variable, "DOROVIVI_STATE=", 15) != 0))
            run.environment.push_back(*variable);
    }
    for (const char *root : arguments.roots)
        run.rows.push_back(TableRow{root, arguments.states ? "list" : "", ""});
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    run.jobs = arguments.jobs > 0 ? static_cast<std::size_t>(arguments.jobs)
                                  : static_cast<std::size_t>(online > 0 ? online : 1);
    if (!MakeScratchDirectory(run.scratch))
        return 1;

    int code = arguments.states ? RunStateTable(run) : RunTable(run);
    RemoveScratchDirectory(run.scratch);
    if (CaughtSignal != 0)
        return EndBySignal(CaughtSignal, run.childMask);
    return code;
}
