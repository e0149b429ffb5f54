#include "inventory/child_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

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
        close(out[0]);
        close(out[1]);
        return false;
    }
    return true;
}

} // namespace

bool StartChild(const ToolProgram &program, const std::vector<std::string> &argv,
                const std::vector<std::string> &environment, const sigset_t &childMask, RunningChild &child,
                int &error)
{
    int out[2], err[2];
    if (!OpenPipes(out, err, error))
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &childMask);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char *> args = Pointers(argv), envp = Pointers(environment);
    pid_t pid = 0;
    int result = program.searchPath
                     ? posix_spawnp(&pid, program.path.c_str(), &actions, &attributes, args.data(), envp.data())
                     : posix_spawn(&pid, program.path.c_str(), &actions, &attributes, args.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (result != 0) {
        close(out[0]);
        close(err[0]);
        error = result;
        return false;
    }
    child = {pid, out[0], err[0]};
    return true;
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
