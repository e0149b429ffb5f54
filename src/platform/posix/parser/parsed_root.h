// The program's one look at its root: a child parses whatever the root
// holds and answers for it (parser_child.h); the program reads only the
// child's checked records. A root that is not there starts no child.
#pragma once

#include <string>

#include "platform/posix/parser/parser_child.h"
#include "platform/posix/parser/remote_registry.h"
#include "platform/posix/sources/reg_export.h"
#include "platform/posix/sources/reg_export_source.h"

struct ParsedRoot {
    ParsedRoot() = default;
    ParsedRoot(const ParsedRoot &) = delete;
    ParsedRoot &operator=(const ParsedRoot &) = delete;

    RemoteRegistry remote;
    RegExport empty; // what a root that could not be read answers from
    RegExportSource emptySource{empty};
    const RegistrySource *source = nullptr;
    bool windowsFound = false; // some Windows installation is there, even if none was chosen
    ParserJob job;             // the child's, copied into it at the fork
};

// Never fails: what cannot be read is said on stderr in one line, and the
// empty registry stands in. Writes the trace's root event first.
void ParseRoot(const std::string &root, const std::string &windir, SandboxUse use, ParsedRoot &parsed);
// DOROVIVI_STATE=list: every state of the root's installation, one a line
// ("" where it has none or the child has gone).
std::string ListedStates(const ParsedRoot &parsed);
// Stops the child; the next ParseRoot starts afresh.
void CloseParsedRoot(ParsedRoot &parsed);
