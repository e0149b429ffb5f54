// The kinds of root, in one table: how each is told (by its file type
// alone, in the program, once), how its parser is confined, and how its
// installation is found. Adding a kind is a row here and its finder's file.
#pragma once

#include <string>

#include "platform/posix/root/installation.h"
#include "platform/posix/sandbox/child_lockdown.h"
#include "platform/posix/sandbox/file_broker.h"

enum class RootKind { Export, Drive, Image, Missing, Other };

struct RootKindRow {
    RootKind kind;
    const char *name; // the trace's word
    const char *what; // how a line names what a failed child read: "the export"
    // The parser asks the program for the root's files, within this reach
    // of the root (an export's one file, a drive's tree); an image's parser
    // opens none: the image's own child does, through the parser.
    bool parserAsks;
    BrokerReach reach;
    std::string (*reachFrom)(const std::string &root); // the file or folder the reach is of
    // Once confined, the parser may still load a reader library (libcreg,
    // for a 95/98 installation found on a drive or an image).
    bool parserLoadsLibraries;
    // Read in a child of the parser's, started before the parser is confined.
    bool ownChild;
    Installation (*find)(const std::string &root, const std::string &windir, SandboxUse use);
};

// The row of `root`, told by its file type alone (no content is read): a
// root with an HKLM.reg is an export, whatever else it holds.
const RootKindRow &RootKindOf(const std::string &root);
const RootKindRow &RootKindRowOf(RootKind kind);

// <root>/HKLM.reg
std::string ExportOfRoot(const std::string &root);
