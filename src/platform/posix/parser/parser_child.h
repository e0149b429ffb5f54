// The child that parses a root for the program: it finds the installation,
// opens its registry and answers the program's questions about it, under
// the sandbox it was given (sandboxed_server.h).
#pragma once

#include <string>

#include "platform/posix/parser/registry_opening.h"
#include "platform/posix/root/installation.h"
#include "platform/posix/root/root_kinds.h"
#include "platform/posix/sandbox/child_lockdown.h"
#include "platform/posix/sandbox/sandboxed_server.h"

struct ParserJob {
    std::string root, windir;
    RootKind kind = RootKind::Missing; // decided once, by the program
    bool image = false; // the root is read by a child of this one (an image)
    SandboxUse use = SandboxUse::Available;
    Installation found;
    OpenedRegistry opened;
};

// Before lockdown, for an image: its own child reads the image, and this one
// only starts it and takes its record.
void FindForParser(void *job);
// Under lockdown: what an image left, or all of it for a drive or export;
// `record` is the ParserStart.
void ReadForParser(void *job, void *record);
// One question, answered from the opened registry.
void AnswerForParser(void *job, const ServerRequest &request, ServerReplyHeader &reply, void *payload);
