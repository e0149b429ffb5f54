#include "platform/posix/parser/parsed_root.h"

#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/posix/base/diverted_lines.h"
#include "platform/posix/base/error_line.h"
#include "platform/posix/base/trace_line.h"
#include "platform/posix/parser/parser_protocol.h"
#include "platform/posix/root/root_contents.h"

namespace {

// Far beyond a sound root's reading (a 1 GB export parses in seconds); a
// damaged image can make a reader loop, and its own child gives up first.
const int ParserCpuSeconds = 60;
const int ParserWallSeconds = 90;

// Where the loader finds a reader library that is loaded only once the
// content asks for it (libcreg for a 95/98 drive).
const char *const LibraryFolders[] = {"/etc/ld.so.cache", "/lib", "/lib64", "/usr/lib", "/usr/lib64", "/usr/local/lib"};

const char *KindName(RootKind kind)
{
    switch (kind) {
    case RootKind::Export: return "export";
    case RootKind::Drive: return "drive";
    case RootKind::Image: return "image";
    case RootKind::Missing:
    case RootKind::Other: break;
    }
    return "none";
}

void TraceRoot(const std::string &root, RootKind kind, const std::vector<std::string> &sandbox)
{
    if (Tracing())
        TraceLine("root").Text("path", root).Text("kind", KindName(kind)).List("sandbox", sandbox).Write();
}

// What held in every process that read the root.
std::vector<std::string> HeldParts(const LockdownReport &own, const ParserStart &start)
{
    bool image = start.imageReadInChild != 0;
    std::vector<std::string> parts;
    if (own.landlock && (!image || start.imageLockdown.landlock))
        parts.push_back("landlock");
    if (own.seccomp && (!image || start.imageLockdown.seccomp))
        parts.push_back("seccomp");
    return parts;
}

void ReadEmpty(ParsedRoot &parsed, const std::string &line)
{
    if (!line.empty())
        PrintErrorLine(line);
    parsed.source = &parsed.emptySource;
}

} // namespace

void ParseRoot(const std::string &root, const std::string &windir, SandboxUse use, ParsedRoot &parsed)
{
    RootKind kind = KindOfRoot(root);
    if (kind == RootKind::Missing || kind == RootKind::Other) {
        TraceRoot(root, kind, {});
        ReadEmpty(parsed, FindInstallation(root, windir, use).problem); // by its type alone: nothing is read
        return;
    }
    parsed.job.root = root;
    parsed.job.windir = windir;
    parsed.job.use = use;
    // A drive or export is read only below itself (and the loader's folders,
    // for a reader library); an image finds its parents by names it reads,
    // so its own child reads it and this one reads no file at all.
    std::string exported = ExportOfRoot(root);
    std::vector<const char *> readable;
    if (kind == RootKind::Export)
        readable.push_back(exported.c_str());
    if (kind == RootKind::Drive) {
        readable.push_back(root.c_str());
        for (const char *folder : LibraryFolders)
            if (access(folder, F_OK) == 0)
                readable.push_back(folder);
    }
    SandboxLimits limits{ParserCpuSeconds, ParserWallSeconds, nullptr, use, readable.data(), readable.size()};
    if (kind == RootKind::Image)
        limits.beforeLockdown = FindForParser;
    static ParserStart start;
    start = ParserStart();
    RemoteRegistry &remote = parsed.remote;
    remote.root = root;
    remote.what = kind == RootKind::Export ? "the export" : kind == RootKind::Drive ? "the drive" : "the image";
    SandboxOutcome outcome = StartSandboxedServer(ReadForParser, AnswerForParser, &parsed.job, &start, sizeof start, limits,
                                                  remote.server);
    const LockdownReport &held = remote.server.lockdown;
    bool answered = outcome.end == SandboxEnd::Answered;
    TraceRoot(root, kind, answered ? HeldParts(held, start) : std::vector<std::string>());
    if (!answered)
        return ReadEmpty(parsed, EmptyRegistryLine(root, ChildFailure(outcome, remote.what)));
    std::string missing = held.missing;
    if (missing.empty() && start.imageReadInChild != 0)
        missing = start.imageLockdown.missing;
    if (!missing.empty() && use == SandboxUse::Required && held.missing[0] != '\0') {
        StopSandboxedServer(remote.server);
        parsed.windowsFound = true; // unread, it may still be a Windows disk: the atom table stays off it
        return ReadEmpty(parsed, EmptyRegistryLine(root, "DOROVIVI_SANDBOX=required, but the reader's sandbox "
                                                         "would be partial: " + missing));
    }
    if (!missing.empty() && use != SandboxUse::Required)
        PrintErrorLine(root + ": the reader's sandbox is " + (use == SandboxUse::Off ? "" : "partial: ") + missing);
    for (const auto &line : remote.server.startLines)
        if (!WriteDivertedLine(line.first, line.second)) {
            StopSandboxedServer(remote.server);
            return ReadEmpty(parsed, EmptyRegistryLine(root, ChildFailure(SandboxOutcome{}, remote.what)));
        }
    remote.platformId = start.platformId;
    parsed.windowsFound = start.windowsFound != 0;
    parsed.source = &remote;
}

void CloseParsedRoot(ParsedRoot &parsed)
{
    StopSandboxedServer(parsed.remote.server);
    parsed.remote.said = false;
    parsed.source = nullptr;
    parsed.windowsFound = false;
}
