#include "platform/posix/sandbox/sandboxed_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/diverted_lines.h"
#include "platform/posix/sandbox/server_child.h"

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

// A child that says what no honest child says: gone, whatever it did after.
bool Refuse(SandboxedServer &server)
{
    Fail(server, false);
    server.ended = SandboxOutcome{};
    return false;
}

// Reads records up to the answer: its header into `answer` and at most
// `room` bytes of it into `payload`. Lines go to `kept` when given, else
// are written now.
bool ReadAnswer(SandboxedServer &server, long long deadline, ServerRecordHeader &answer, void *payload,
                std::size_t room, std::vector<std::pair<LineKind, std::string>> *kept)
{
    bool timedOut = false;
    for (std::size_t lines = 0;; ++lines) {
        if (!TakeReply(server.replies, server.buffered, &answer, sizeof answer, deadline, timedOut))
            return Fail(server, timedOut);
        if (answer.kind == kServerAnswer)
            break;
        bool line = answer.kind == static_cast<std::uint32_t>(LineKind::Error) ||
                    answer.kind == static_cast<std::uint32_t>(LineKind::Trace) ||
                    answer.kind == static_cast<std::uint32_t>(LineKind::TraceOff);
        bool open = answer.kind == kServerOpen && server.brokers;
        if ((!line && !open) || answer.size > kDivertedLineLargest || lines == kServerLinesPerReply)
            return Refuse(server);
        std::string text(answer.size, '\0');
        if (answer.size > 0 &&
            !TakeReply(server.replies, server.buffered, &text[0], answer.size, deadline, timedOut))
            return Fail(server, timedOut);
        if (open) {
            if (!HandOver(server.requests, server.scope, text, answer.error == 1))
                return Fail(server, false);
            continue;
        }
        LineKind kind = static_cast<LineKind>(answer.kind);
        if (kept != nullptr)
            kept->emplace_back(kind, text);
        else if (!WriteDivertedLine(kind, text))
            return Refuse(server);
    }
    if (answer.size > room)
        return Refuse(server);
    if (answer.size > 0 && !TakeReply(server.replies, server.buffered, payload, answer.size, deadline, timedOut))
        return Fail(server, timedOut);
    return true;
}

} // namespace

SandboxOutcome StartSandboxedServer(void (*work)(void *context, void *record), ServeCall serve, void *context,
                                    void *record, std::size_t size, SandboxLimits limits, SandboxedServer &server)
{
    SandboxOutcome outcome;
    int requestFds[2] = {-1, -1}, replyFds[2] = {-1, -1};
    // Requests go through a socket, which can carry a descriptor back too.
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, requestFds) != 0 || pipe2(replyFds, O_CLOEXEC) != 0) {
        int error = errno;
        for (int fd : {requestFds[0], requestFds[1]})
            if (fd >= 0)
                close(fd);
        errno = error;
        outcome.end = SandboxEnd::CannotStart;
        return outcome;
    }
    pid_t parent = getpid();
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
        // Whatever ends this child's parent ends it too; its parent's
        // servers are not its own to stop.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(0);
        LiveServerCount = 0;
        close(requestFds[1]);
        close(replyFds[0]);
        ServeAsChild(work, serve, context, record, size, limits, requestFds[0], replyFds[1], StopLiveServers);
    }
    close(requestFds[0]);
    close(replyFds[1]);
    server.child = child;
    server.buffered.from = server.buffered.to = 0;
    server.requests = requestFds[1];
    server.replies = replyFds[0];
    server.brokers = limits.broker != nullptr;
    server.scope = server.brokers ? *limits.broker : BrokerScope();
    KeepServerEnd(server.requests);
    KeepServerEnd(server.replies);
    KeepLive(server);
    long long deadline = MillisecondsNow() + (limits.wallSeconds + 2) * 1000LL;
    // The record and the report, whole or not at all.
    static char answered[kServerReadLargest];
    ServerRecordHeader answer;
    server.startLines.clear();
    if (size + sizeof server.lockdown > sizeof answered ||
        !ReadAnswer(server, deadline, answer, answered, sizeof answered, &server.startLines))
        return server.ended;
    if (answer.size != size + sizeof server.lockdown) {
        Refuse(server);
        return server.ended;
    }
    std::memcpy(record, answered, size);
    std::memcpy(&server.lockdown, answered + size, sizeof server.lockdown);
    MakeReportSound(server.lockdown);
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
    ServerRecordHeader answer;
    if (!ReadAnswer(server, MillisecondsNow() + server.replyMilliseconds, answer, payload, request.size, nullptr))
        return false;
    reply.error = answer.error;
    reply.got = answer.size;
    return true;
}

bool RefuseSandboxedServer(SandboxedServer &server)
{
    return server.child >= 0 ? Refuse(server) : false;
}

void StopSandboxedServer(SandboxedServer &server)
{
    ForgetLive(server);
    // The child ends at the end of its request pipe; its reply pipe stays
    // open until it has, to tell its end where the kernel gives no pidfd.
    CloseEnd(server.requests);
    if (server.child >= 0 &&
        !ReapWhenEnded(server.child, server.replies, MillisecondsNow() + server.stopMilliseconds))
        server.ended = ReapSandboxed(server.child, true, true);
    server.child = -1;
    CloseEnd(server.replies);
}

