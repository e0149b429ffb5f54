#include "inventory/child_runner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

ToolProgram FindToolProgram()
{
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self);
    if (length > 0 && static_cast<std::size_t>(length) < sizeof self) {
        std::string path(self, static_cast<std::size_t>(length));
        path.erase(path.rfind('/') + 1);
        path += "dorovivi";
        if (access(path.c_str(), X_OK) == 0)
            return {path, false};
    }
    return {"dorovivi", true};
}

namespace {

std::vector<char *> Pointers(const std::vector<std::string> &strings)
{
    std::vector<char *> pointers;
    for (const std::string &s : strings)
        pointers.push_back(const_cast<char *>(s.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

void ClosePair(int pair[2])
{
    close(pair[0]);
    close(pair[1]);
}

// In the child before its mask is lifted: a stop signal caught there must
// end it, as after exec, not set this program's flag; and SIGPIPE, ignored
// here, must not stay ignored in dorovivi.
void ResetHandlers()
{
    for (int signo = 1; signo < NSIG; ++signo) {
        struct sigaction action;
        if (sigaction(signo, nullptr, &action) == 0 && (signo == SIGPIPE || action.sa_handler != SIG_IGN))
            signal(signo, SIG_DFL);
    }
}

// Both ends close on exec, so no child keeps another child's pipe open and
// delays its end of file; dup2 onto 1 and 2 clears the flag in the child.
bool OpenPipes(int out[2], int err[2], int &error)
{
    if (pipe2(out, O_CLOEXEC) != 0) {
        error = errno;
        return false;
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        error = errno;
        ClosePair(out);
        return false;
    }
    return true;
}

} // namespace

// Started by fork and exec, and not waited on until it ends: a parent that
// wakes while its child execs, as after posix_spawn's vfork or on a pipe that
// closes on exec, made the child's own parent-child round trips about a third
// slower on two cores (40 runs over restore points: 178 against 127 ms);
// pinned to one core the two were equal. So an exec that fails leaves its
// errno in a pipe read only once the child has ended.
bool StartChild(const ToolProgram &program, const std::vector<std::string> &argv,
                const std::vector<std::string> &environment, const sigset_t &childMask, RunningChild &child,
                int &error)
{
    int out[2], err[2], failed[2];
    if (!OpenPipes(out, err, error))
        return false;
    if (pipe2(failed, O_CLOEXEC) != 0) {
        error = errno;
        ClosePair(out);
        ClosePair(err);
        return false;
    }
    std::vector<char *> args = Pointers(argv), envp = Pointers(environment);
    pid_t pid = fork();
    if (pid == 0) {
        int code = 0;
        int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (in < 0 || dup2(in, STDIN_FILENO) < 0 || dup2(out[1], STDOUT_FILENO) < 0 ||
            dup2(err[1], STDERR_FILENO) < 0)
            code = errno;
        if (code == 0) {
            ResetHandlers();
            sigprocmask(SIG_SETMASK, &childMask, nullptr);
            if (program.searchPath)
                execvpe(program.path.c_str(), args.data(), envp.data());
            else
                execve(program.path.c_str(), args.data(), envp.data());
            code = errno;
        }
        ssize_t ignored = write(failed[1], &code, sizeof code);
        (void)ignored;
        _exit(127);
    }
    error = errno;
    close(out[1]);
    close(err[1]);
    close(failed[1]);
    if (pid < 0) {
        close(out[0]);
        close(err[0]);
        close(failed[0]);
        return false;
    }
    child = {pid, out[0], err[0], failed[0]};
    return true;
}

bool ExecFailed(RunningChild &child, int &error)
{
    int code = 0;
    ssize_t got;
    do {
        got = read(child.execFd, &code, sizeof code);
    } while (got < 0 && errno == EINTR);
    close(child.execFd);
    child.execFd = -1;
    error = code;
    return got == static_cast<ssize_t>(sizeof code);
}

ChildOutcome WaitChild(pid_t pid)
{
    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited != pid)
        return {ChildOutcome::NotStarted, 0};
    if (WIFSIGNALED(status))
        return {ChildOutcome::Signalled, WTERMSIG(status)};
    return {ChildOutcome::Exited, WEXITSTATUS(status)};
}
