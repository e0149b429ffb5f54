// A sandboxed child that stays alive after its answer and serves reads by
// position over a pair of pipes, one fixed-size request and one reply at a
// time, until the parent closes its end. The parent bounds every wait and
// kills the child at the first reply it cannot trust.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "platform/posix/sandbox/child_lockdown.h"
#include "platform/posix/sandbox/sandboxed_call.h"

// The most one request may ask for.
constexpr std::uint32_t kServerReadLargest = 65536;
// How long the parent waits for one reply, and for the child to go at the end.
constexpr int kServerReplyMilliseconds = 20000;
constexpr int kServerStopMilliseconds = 2000;

struct ServerRequest {
    std::uint32_t file;   // which of the child's open files
    std::uint32_t size;   // at most kServerReadLargest
    std::uint64_t offset; // bytes into the file
};

// Followed by `got` bytes; `error` is 0 or an errno value.
struct ServerReplyHeader {
    std::int32_t error;
    std::uint32_t got;
};

static_assert(sizeof(ServerRequest) == 16, "the request goes through the pipe as it lies in memory");
static_assert(sizeof(ServerReplyHeader) == 8, "the reply header likewise");

// In the child: fill `reply` and up to request.size bytes of `payload`
// (kServerReadLargest of room) for `request`.
typedef void (*ServeCall)(void *context, const ServerRequest &request, ServerReplyHeader &reply, void *payload);

struct SandboxedServer {
    pid_t child = -1;    // -1 once reaped
    int requests = -1;   // the parent's end of each pipe
    int replies = -1;
    int replyMilliseconds = kServerReplyMilliseconds;
    SandboxOutcome ended; // how it went, once it has gone
    LockdownReport lockdown; // what the child read the image under
};

// Forks a child that runs `work(context, record)` under `limits`, sends the
// record back, and serves `serve` from then on. It gives up its rights
// before `work` reads a byte (no new privileges, the system call filter) and
// all reading but below `limits.readableWhileServing` once `work` is done;
// `server.lockdown` says what held. Answered: the record is
// whole and the child serves; else it has been reaped. `server` stays where
// it is until stopped: one still running at exit is stopped then.
SandboxOutcome StartSandboxedServer(void (*work)(void *context, void *record), ServeCall serve, void *context,
                                    void *record, std::size_t size, SandboxLimits limits, SandboxedServer &server);

// Sends `request` and reads its reply into `reply` and `payload` (room for
// request.size bytes). False when the child is gone, late or untrustworthy:
// it has then been killed and reaped and `server.ended` says how.
bool AskSandboxedServer(SandboxedServer &server, const ServerRequest &request, ServerReplyHeader &reply,
                        void *payload);

// Closes the request pipe, waits a bounded time for the child to go, kills
// it if it does not, and reaps it. Safe to call again.
void StopSandboxedServer(SandboxedServer &server);
