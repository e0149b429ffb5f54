// The serving child's side of sandboxed_server.h.
#pragma once

#include <cstddef>

#include "platform/posix/sandbox/sandboxed_call.h"
#include "platform/posix/sandbox/server_records.h"

// In the forked child: gives up its rights, works, answers, then serves
// until its request pipe ends, and runs `stopOwnServers` before it ends.
// Never returns.
[[noreturn]] void ServeAsChild(void (*work)(void *, void *), ServeCall serve, void *context, void *record,
                               std::size_t size, SandboxLimits limits, int requestFd, int replyFd,
                               void (*stopOwnServers)());
