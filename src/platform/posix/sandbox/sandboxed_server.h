// A sandboxed child that stays alive after its answer and serves questions
// over a pair of pipes, one fixed-size request and one reply at a time,
// until the parent closes its end. A reply is a run of records: the lines
// the child said on the way (line_diverter.h), then its answer. The parent
// bounds every wait and kills the child at the first record it cannot trust.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/base/line_diverter.h"
#include "platform/posix/sandbox/child_lockdown.h"
#include "platform/posix/sandbox/sandboxed_call.h"
#include "platform/posix/sandbox/server_records.h"

struct SandboxedServer {
    pid_t child = -1;    // -1 once reaped
    int requests = -1;   // the parent's end of each pipe
    int replies = -1;
    int replyMilliseconds = kServerReplyMilliseconds;
    int stopMilliseconds = kServerStopMilliseconds;
    SandboxOutcome ended; // how it went, once it has gone
    LockdownReport lockdown; // what the child worked under
    // The lines said before the start's answer, for the caller to write
    // (WriteDivertedLine) once it has said what comes before them.
    std::vector<std::pair<LineKind, std::string>> startLines;
    ReplyBuffer buffered;
    bool brokers = false; // opens files for the child, within `scope`
    BrokerScope scope;
};

// Forks a child that runs `work(context, record)` under `limits`, sends the
// record back, and serves `serve` from then on. It gives up its rights
// before `work` reads a byte (no new privileges, the system call filter,
// and Landlock where `limits` says where it may read) and all reading but
// below `limits.readableWhileServing` once `work` is done;
// `server.lockdown` says what held. Answered: the record is
// whole and the child serves; else it has been reaped. `server` stays where
// it is until stopped: one still running at exit is stopped then.
SandboxOutcome StartSandboxedServer(void (*work)(void *context, void *record), ServeCall serve, void *context,
                                    void *record, std::size_t size, SandboxLimits limits, SandboxedServer &server);

// Sends `request`, writes the lines said on the way as said here, and reads
// its answer into `reply` and `payload` (room for request.size bytes). False
// when the child is gone, late or untrustworthy: it has then been killed and
// reaped and `server.ended` says how.
bool AskSandboxedServer(SandboxedServer &server, const ServerRequest &request, ServerReplyHeader &reply,
                        void *payload);

// For an answer the caller finds untrustworthy: kills and reaps the child
// as a reply the server could not trust would. Always false.
bool RefuseSandboxedServer(SandboxedServer &server);

// Closes the request pipe, waits a bounded time for the child to go, kills
// it if it does not, and reaps it. Safe to call again.
void StopSandboxedServer(SandboxedServer &server);
