#include "platform/posix/sandbox/server_child.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/posix/base/diverted_lines.h"
#include "platform/posix/base/evidence_file.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/sandbox/file_broker.h"
#include "platform/posix/sandbox/landlock_rules.h"

// A test build's look inside a child once it has given up its rights, and
// just before it reads its first byte; the program defines neither.
extern "C" void DoroviviChildLockedDown(void) __attribute__((weak));
extern "C" void DoroviviChildBeforeWork(void) __attribute__((weak));

namespace {

int ReplyFd = -1, RequestFd = -1;
void (*StopOwnServers)() = nullptr;

// A child of this one that serves it (an image's reader) ends before it.
[[noreturn]] void EndServing()
{
    if (StopOwnServers != nullptr)
        StopOwnServers();
    _exit(0);
}

// A record goes out in one write, its header before its bytes, so that the
// parent's one read brings it whole; a parent gone ends the child. `record`
// holds the bytes after room for the header.
void SendRecord(unsigned char *record, std::uint32_t kind, std::int32_t error, std::size_t size)
{
    ServerRecordHeader header = {kind, error, static_cast<std::uint32_t>(size), 0};
    std::memcpy(record, &header, sizeof header);
    if (!WriteAll(ReplyFd, record, sizeof header + size))
        EndServing();
}

// An answer is filled in place, after its header's room.
unsigned char Answer[sizeof(ServerRecordHeader) + kServerReadLargest];
unsigned char *const Payload = Answer + sizeof(ServerRecordHeader);

// Cut to what the parent takes. A line may be said while an answer is
// being filled in, so it has a record of its own.
void SendLine(LineKind kind, const std::string &text)
{
    static unsigned char line[sizeof(ServerRecordHeader) + kDivertedLineLargest];
    std::size_t size = text.size() < kDivertedLineLargest ? text.size() : kDivertedLineLargest;
    std::memcpy(line + sizeof(ServerRecordHeader), text.data(), size);
    SendRecord(line, static_cast<std::uint32_t>(kind), 0, size);
}

// A file the child may not open itself, asked of its parent, which opens it
// where the root lets it: the name goes out as a record, the descriptor
// comes back over the request socket.
int OpenThroughParent(const std::string &path, bool folder)
{
    static unsigned char asked[sizeof(ServerRecordHeader) + kServerTextLargest];
    if (path.size() >= kServerTextLargest) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(asked + sizeof(ServerRecordHeader), path.data(), path.size());
    SendRecord(asked, kServerOpen, folder ? 1 : 0, path.size());
    int fd = -1;
    if (!ReceiveDescriptor(RequestFd, fd))
        EndServing();
    return fd;
}

// The child holds nothing of its parent's but its pipes (not the trace, not
// a file the parent had open) and writes nowhere else: its lines go through
// them, and what a library would print goes nowhere (a write to a
// descriptor opened for reading fails). A sanitizer's report still reaches stderr.
void LeaveOnlyThePipes(int requestFd, int replyFd)
{
    unsigned from = STDERR_FILENO + 1;
    for (int keep : {requestFd < replyFd ? requestFd : replyFd, requestFd < replyFd ? replyFd : requestFd}) {
        unsigned kept = static_cast<unsigned>(keep);
        if (kept > from)
            close_range(from, kept - 1, 0);
        if (kept >= from)
            from = kept + 1;
    }
    close_range(from, ~0U, 0);
    int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
#if defined(__SANITIZE_ADDRESS__)
    const int last = STDOUT_FILENO;
#else
    const int last = STDERR_FILENO;
#endif
    for (int fd = STDIN_FILENO; nothing >= 0 && fd <= last; ++fd)
        if (fd != requestFd && fd != replyFd && fd != nothing)
            dup2(nothing, fd);
    if (nothing > STDERR_FILENO)
        close(nothing);
}

// What the child reads under, in the order it gives things up.
void LockDownAndWork(void (*work)(void *, void *), void *context, void *record, SandboxLimits limits,
                     LockdownReport &lockdown)
{
    const char *serving[] = {limits.readableWhileServing};
    std::size_t servingCount = limits.readableWhileServing != nullptr ? 1 : 0;
    if (limits.beforeLockdown != nullptr)
        limits.beforeLockdown(context);
    if (limits.use == SandboxUse::Off) {
        std::snprintf(lockdown.missing, sizeof lockdown.missing, "off (DOROVIVI_SANDBOX=off)");
        work(context, record);
        CheckHeldFilesAgainstTrace();
        return;
    }
    ForbidAllButReading(lockdown);
    if (limits.broker != nullptr)
        OpenEvidenceThrough(OpenThroughParent);
    bool confined = limits.readableWhileWorking != nullptr;
    if (confined)
        ConfineReading(limits.readableWhileWorking, limits.readableWorkingCount, lockdown);
    bool whole = lockdown.seccomp && (confined ? lockdown.landlock : LandlockAbi() > 0);
    if (DoroviviChildBeforeWork != nullptr)
        DoroviviChildBeforeWork();
    // Required and not all there: the record goes back untouched, nothing read.
    if (limits.use != SandboxUse::Required || whole)
        work(context, record);
    CheckHeldFilesAgainstTrace();
    ConfineReading(serving, servingCount, lockdown);
}

} // namespace

void ServeAsChild(void (*work)(void *, void *), ServeCall serve, void *context, void *record, std::size_t size,
                  SandboxLimits limits, int requestFd, int replyFd, void (*stopOwnServers)())
{
    StopOwnServers = stopOwnServers;
    CloseServerEnds();
    LeaveOnlyThePipes(requestFd, replyFd);
    // A child this one forks closes these ends, so that each sees its end of file.
    KeepServerEnd(requestFd);
    KeepServerEnd(replyFd);
    ReplyFd = replyFd;
    RequestFd = requestFd;
    DivertLines(SendLine);
    LimitSandboxedChild(limits);
    static LockdownReport lockdown;
    LockDownAndWork(work, context, record, limits, lockdown);
    if (DoroviviChildLockedDown != nullptr)
        DoroviviChildLockedDown();
    if (size + sizeof lockdown > kServerReadLargest)
        EndServing();
    std::memcpy(Payload, record, size);
    std::memcpy(Payload + size, &lockdown, sizeof lockdown);
    SendRecord(Answer, kServerAnswer, 0, size + sizeof lockdown);
    // Serving waits on the parent, not on the image: no alarm from here on.
    alarm(0);
    for (;;) {
        static ServerRequest request;
        std::size_t got = 0;
        if (!ReadUpTo(requestFd, &request, sizeof request, got) || got != sizeof request)
            EndServing();
        ServerReplyHeader reply = {0, 0};
        if (request.size > kServerReadLargest || request.textSize > kServerTextLargest)
            reply.error = EINVAL;
        else
            serve(context, request, reply, Payload);
        // Never more than the buffer holds, whatever `serve` claimed.
        std::size_t sent = reply.got < kServerReadLargest ? reply.got : kServerReadLargest;
        SendRecord(Answer, kServerAnswer, reply.error, sent);
    }
}
