#include "platform/posix/sandbox/sandboxed_call.h"

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const std::size_t ServerEndsLargest = 64;
int ServerEnds[ServerEndsLargest];
std::size_t ServerEndCount = 0;

} // namespace

void KeepServerEnd(int fd)
{
    if (ServerEndCount < ServerEndsLargest)
        ServerEnds[ServerEndCount++] = fd;
}

void ForgetServerEnd(int fd)
{
    for (std::size_t i = 0; i < ServerEndCount; ++i) {
        if (ServerEnds[i] == fd) {
            ServerEnds[i] = ServerEnds[--ServerEndCount];
            return;
        }
    }
}

void CloseServerEnds()
{
    for (std::size_t i = 0; i < ServerEndCount; ++i)
        close(ServerEnds[i]);
    ServerEndCount = 0;
}

long long MillisecondsNow()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

void LimitSandboxedChild(SandboxLimits limits)
{
    struct rlimit cpu = {static_cast<rlim_t>(limits.cpuSeconds), static_cast<rlim_t>(limits.cpuSeconds)};
    setrlimit(RLIMIT_CPU, &cpu);
    // A crash leaves no core file behind: nothing is written anywhere.
    struct rlimit core = {0, 0};
    setrlimit(RLIMIT_CORE, &core);
    alarm(static_cast<unsigned>(limits.wallSeconds));
}

bool ReadSome(int pipeFd, void *buffer, std::size_t room, long long deadline, bool &timedOut, std::size_t &got)
{
    timedOut = false;
    for (;;) {
        long long left = deadline - MillisecondsNow();
        if (left <= 0) {
            timedOut = true;
            return false;
        }
        struct pollfd waiting = {pipeFd, POLLIN, 0};
        int ready = poll(&waiting, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        ssize_t count = read(pipeFd, buffer, room);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        got = static_cast<std::size_t>(count);
        return true;
    }
}

bool TakeReply(int pipeFd, ReplyBuffer &buffer, void *out, std::size_t size, long long deadline, bool &timedOut)
{
    unsigned char *to = static_cast<unsigned char *>(out);
    while (size > 0) {
        if (buffer.from == buffer.to) {
            buffer.from = buffer.to = 0;
            if (!ReadSome(pipeFd, buffer.bytes, sizeof buffer.bytes, deadline, timedOut, buffer.to))
                return false;
        }
        std::size_t part = buffer.to - buffer.from < size ? buffer.to - buffer.from : size;
        std::memcpy(to, buffer.bytes + buffer.from, part);
        buffer.from += part;
        to += part;
        size -= part;
    }
    return true;
}

SandboxOutcome ReapSandboxed(pid_t child, bool kill, bool timedOut)
{
    if (kill)
        ::kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    SandboxOutcome outcome;
    if (timedOut || (WIFSIGNALED(status) && (WTERMSIG(status) == SIGALRM || WTERMSIG(status) == SIGXCPU))) {
        outcome.end = SandboxEnd::TimedOut;
    } else if (WIFSIGNALED(status)) {
        outcome.end = SandboxEnd::Crashed;
        outcome.signal = WTERMSIG(status);
    }
    return outcome;
}

namespace {

// A descriptor that turns readable when `child` ends; -1 where the kernel
// has none or a filter refuses it.
int ChildEndFd(pid_t child)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, child, 0));
#else
    (void)child;
    errno = ENOSYS;
    return -1;
#endif
}

void WaitForReaping(pid_t child)
{
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

bool ReapWhenEnded(pid_t child, int replies, long long deadline)
{
    int ending = ChildEndFd(child);
    bool ended = false;
    for (long long left = deadline - MillisecondsNow(); left > 0 && !ended; left = deadline - MillisecondsNow()) {
        struct pollfd end = {ending >= 0 ? ending : replies, POLLIN, 0};
        int ready = poll(&end, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        if (ending >= 0 && (end.revents & POLLIN) == 0)
            break;
        if (ending >= 0) {
            ended = true;
        } else {
            // Bytes no one asked for are dropped; the end of the pipe is the child's.
            static unsigned char unasked[4096];
            ssize_t got = read(replies, unasked, sizeof unasked);
            ended = got == 0 || (got < 0 && errno != EINTR);
        }
    }
    if (ending >= 0)
        close(ending);
    if (!ended)
        return false;
    // A child that closed its pipe has said all it will: one still running
    // after that (on its way out, or not) goes now.
    if (ending < 0) {
        if (waitpid(child, nullptr, WNOHANG) != 0)
            return true;
        kill(child, SIGKILL);
    }
    WaitForReaping(child);
    return true;
}

std::string ChildFailure(const SandboxOutcome &outcome, const char *what)
{
    if (outcome.end == SandboxEnd::CannotStart)
        return std::string("cannot read ") + what + " (" + std::strerror(errno) + ")";
    if (outcome.end == SandboxEnd::TimedOut)
        return std::string("reading ") + what + " took too long; it may be damaged";
    if (outcome.end == SandboxEnd::Crashed)
        return std::string("reading ") + what + " failed (" + strsignal(outcome.signal) + "); it may be damaged";
    return std::string("reading ") + what + " failed; it may be damaged";
}
