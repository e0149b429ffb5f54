// Reading hostile input in a child process: libtsk and the container
// libraries have crashed and hung on damaged images, and a child that does
// either costs one line on stderr, not the answer. The child fills a record
// of plain bytes that comes back through a pipe, then stays to serve reads
// (sandboxed_server.h).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "platform/posix/sandbox/child_lockdown.h"
#include "platform/posix/sandbox/file_broker.h"
#include "platform/posix/sandbox/server_records.h"

struct SandboxLimits {
    int cpuSeconds;
    int wallSeconds; // the parent waits two seconds more before it gives up
    // A serving child: the folder it may still read below once its files
    // are open (where a split image's other segments are reopened); null: none.
    const char *readableWhileServing = nullptr;
    SandboxUse use = SandboxUse::Available;
    // Where the child may read while it works, confined before it reads a
    // byte; null: the work finds files by names it reads, and is confined
    // only once it is done.
    const char *const *readableWhileWorking = nullptr;
    std::size_t readableWorkingCount = 0;
    // Run with all rights, before any are given up: what reads none of the
    // root itself, such as starting a child of its own that does.
    void (*beforeLockdown)(void *context) = nullptr;
    // What the child may ask its parent to open for it, having opened
    // nothing itself (file_broker.h); null: the child opens its own files.
    const BrokerScope *broker = nullptr;
};

enum class SandboxEnd {
    Answered,     // the whole record came back
    CannotStart,  // no pipe or no fork; errno says why
    TimedOut,     // out of CPU or wall-clock time
    Crashed,      // killed by a signal; `signal` says which
    NoAnswer,     // ended without the whole record
};

struct SandboxOutcome {
    SandboxEnd end = SandboxEnd::NoAnswer;
    int signal = 0;
};

// Why a child reading `what` ("the image") gave no answer, or went while
// serving: "reading the image took too long; it may be damaged".
std::string ChildFailure(const SandboxOutcome &outcome, const char *what);

// What the serving child (sandboxed_server.h) is built from.

long long MillisecondsNow(); // a monotonic clock

// In a child: the CPU limit, no core file, and the wall-clock alarm.
void LimitSandboxedChild(SandboxLimits limits);

// Whatever the pipe holds, up to `room` bytes, once it holds some before
// `deadline`: `got` of them. False when the writer ended, the time ran out
// (`timedOut`) or the wait failed.
bool ReadSome(int pipeFd, void *buffer, std::size_t room, long long deadline, bool &timedOut, std::size_t &got);

// `size` bytes of a child's replies before `deadline`: what the last read
// brought into `buffer`, else as much as the pipe holds now.
bool TakeReply(int pipeFd, ReplyBuffer &buffer, void *out, std::size_t size, long long deadline, bool &timedOut);

// Reaps `child` (killed first when `kill`) and says how it ended; Answered
// is the caller's to say.
SandboxOutcome ReapSandboxed(pid_t child, bool kill, bool timedOut);

// Reaps `child` once it has ended, without polling, if it ends before
// `deadline`; false, and not reaped, if it does not. `replies` is the pipe
// it writes to, whose end tells where the kernel gives no pidfd.
bool ReapWhenEnded(pid_t child, int replies, long long deadline);

// The parent's ends of the pipes to serving children still running: a child
// forked later closes them, so that each server still sees its end of file.
void KeepServerEnd(int fd);
void ForgetServerEnd(int fd);
void CloseServerEnds();
