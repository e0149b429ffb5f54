#include "platform/posix/sandbox/sandboxed_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/posix/base/fd_io.h"
#include "platform/posix/sandbox/landlock_rules.h"

namespace {

// Servers still running, stopped at exit: a file that outlives the run (held
// by a registry source that is never closed) must not leave its child behind.
const std::size_t LiveServersLargest = 32;
SandboxedServer *LiveServers[LiveServersLargest];
std::size_t LiveServerCount = 0;

void StopLiveServers()
{
    while (LiveServerCount > 0)
        StopSandboxedServer(*LiveServers[LiveServerCount - 1]);
}

void KeepLive(SandboxedServer &server)
{
    static bool registered = false;
    if (!registered)
        registered = std::atexit(StopLiveServers) == 0;
    if (LiveServerCount < LiveServersLargest)
        LiveServers[LiveServerCount++] = &server;
}

void ForgetLive(const SandboxedServer &server)
{
    for (std::size_t i = 0; i < LiveServerCount; ++i) {
        if (LiveServers[i] == &server) {
            LiveServers[i] = LiveServers[--LiveServerCount];
            return;
        }
    }
}

void CloseEnd(int &fd)
{
    if (fd >= 0) {
        ForgetServerEnd(fd);
        close(fd);
    }
    fd = -1;
}

[[noreturn]] void Serve(void (*work)(void *, void *), ServeCall serve, void *context, void *record, std::size_t size,
                        SandboxLimits limits, int requestFd, int replyFd)
{
    CloseServerEnds();
    LimitSandboxedChild(limits);
    static LockdownReport lockdown;
    const char *readable[] = {limits.readableWhileServing};
    if (limits.use == SandboxUse::Off) {
        std::snprintf(lockdown.missing, sizeof lockdown.missing, "off (DOROVIVI_SANDBOX=off)");
        work(context, record);
    } else {
        ForbidAllButReading(lockdown);
        // Required and not all there: the record goes back untouched, nothing read.
        if (limits.use != SandboxUse::Required || (lockdown.seccomp && LandlockAbi() > 0))
            work(context, record);
        ConfineReading(readable, limits.readableWhileServing != nullptr ? 1 : 0, lockdown);
    }
    if (!WriteAll(replyFd, record, size) || !WriteAll(replyFd, &lockdown, sizeof lockdown))
        _exit(0);
    // Serving waits on the parent, not on the image: no alarm from here on.
    alarm(0);
    static char payload[kServerReadLargest];
    for (;;) {
        ServerRequest request;
        std::size_t got = 0;
        if (!ReadUpTo(requestFd, &request, sizeof request, got) || got != sizeof request)
            _exit(0);
        ServerReplyHeader reply = {0, 0};
        if (request.size > kServerReadLargest)
            reply.error = EINVAL;
        else
            serve(context, request, reply, payload);
        // Never more than the buffer holds, whatever `serve` claimed.
        std::size_t sent = reply.got < kServerReadLargest ? reply.got : kServerReadLargest;
        if (!WriteAll(replyFd, &reply, sizeof reply) || !WriteAll(replyFd, payload, sent))
            _exit(0);
    }
}

// A write to a child that has gone fails with EPIPE, not with a SIGPIPE that
// would end the parent.
bool WriteRequest(int fd, const ServerRequest &request)
{
    sigset_t pipeOnly, previous;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
    bool written = WriteAll(fd, &request, sizeof request);
    if (!written && errno == EPIPE && !alreadyPending) {
        struct timespec none = {0, 0};
        while (sigtimedwait(&pipeOnly, nullptr, &none) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return written;
}

// The child cannot be trusted any more: it goes, and `server.ended` says how.
bool Fail(SandboxedServer &server, bool timedOut)
{
    ForgetLive(server);
    CloseEnd(server.requests);
    CloseEnd(server.replies);
    if (server.child >= 0)
        server.ended = ReapSandboxed(server.child, true, timedOut);
    server.child = -1;
    return false;
}

} // namespace

SandboxOutcome StartSandboxedServer(void (*work)(void *context, void *record), ServeCall serve, void *context,
                                    void *record, std::size_t size, SandboxLimits limits, SandboxedServer &server)
{
    SandboxOutcome outcome;
    int requestFds[2] = {-1, -1}, replyFds[2] = {-1, -1};
    if (pipe2(requestFds, O_CLOEXEC) != 0 || pipe2(replyFds, O_CLOEXEC) != 0) {
        int error = errno;
        for (int fd : {requestFds[0], requestFds[1]})
            if (fd >= 0)
                close(fd);
        errno = error;
        outcome.end = SandboxEnd::CannotStart;
        return outcome;
    }
    pid_t child = fork();
    if (child < 0) {
        int error = errno;
        for (int fd : {requestFds[0], requestFds[1], replyFds[0], replyFds[1]})
            close(fd);
        errno = error;
        outcome.end = SandboxEnd::CannotStart;
        return outcome;
    }
    if (child == 0) {
        close(requestFds[1]);
        close(replyFds[0]);
        Serve(work, serve, context, record, size, limits, requestFds[0], replyFds[1]);
    }
    close(requestFds[0]);
    close(replyFds[1]);
    server.child = child;
    server.requests = requestFds[1];
    server.replies = replyFds[0];
    KeepServerEnd(server.requests);
    KeepServerEnd(server.replies);
    KeepLive(server);
    bool timedOut = false;
    long long deadline = MillisecondsNow() + (limits.wallSeconds + 2) * 1000LL;
    if (!ReadBefore(server.replies, record, size, deadline, timedOut) ||
        !ReadBefore(server.replies, &server.lockdown, sizeof server.lockdown, deadline, timedOut)) {
        Fail(server, timedOut);
        return server.ended;
    }
    server.lockdown.missing[sizeof server.lockdown.missing - 1] = '\0';
    outcome.end = SandboxEnd::Answered;
    return outcome;
}

bool AskSandboxedServer(SandboxedServer &server, const ServerRequest &request, ServerReplyHeader &reply,
                        void *payload)
{
    if (server.child < 0)
        return false;
    if (!WriteRequest(server.requests, request))
        return Fail(server, false);
    bool timedOut = false;
    long long deadline = MillisecondsNow() + server.replyMilliseconds;
    if (!ReadBefore(server.replies, &reply, sizeof reply, deadline, timedOut))
        return Fail(server, timedOut);
    if (reply.got > request.size) {
        Fail(server, false);
        server.ended = SandboxOutcome{}; // a reply that makes no sense, whatever the child did after it
        return false;
    }
    if (reply.got > 0 && !ReadBefore(server.replies, payload, reply.got, deadline, timedOut))
        return Fail(server, timedOut);
    return true;
}

void StopSandboxedServer(SandboxedServer &server)
{
    ForgetLive(server);
    // The child ends at the end of its request pipe, or at its next write
    // to replies no one reads.
    CloseEnd(server.requests);
    CloseEnd(server.replies);
    if (server.child < 0)
        return;
    // A short sleep between looks, growing, until it has gone or the time is up.
    long long deadline = MillisecondsNow() + kServerStopMilliseconds;
    long wait = 100000; // nanoseconds
    int status = 0;
    pid_t reaped = 0;
    while ((reaped = waitpid(server.child, &status, WNOHANG)) == 0 && MillisecondsNow() < deadline) {
        struct timespec pause = {0, wait};
        nanosleep(&pause, nullptr);
        wait = wait < 10000000 ? wait * 2 : wait;
    }
    if (reaped == 0)
        server.ended = ReapSandboxed(server.child, true, true);
    server.child = -1;
}
