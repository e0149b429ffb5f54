#include "platform/posix/parser/parsed_root.h"

#include <cstring>
#include <vector>

#include "platform/posix/base/diverted_lines.h"
#include "platform/posix/base/error_line.h"
#include "platform/posix/base/trace_line.h"
#include "platform/posix/base/trace_start.h"
#include "platform/posix/parser/parser_protocol.h"
#include "platform/posix/root/root_contents.h"

namespace {

// Far beyond a sound root's reading (a 1 GB export parses in seconds); a
// damaged image can make a reader loop, and its own child gives up first.
const int ParserCpuSeconds = 60;
const int ParserWallSeconds = 90;

void TraceRoot(const std::string &root, const RootKindRow &kind, const std::vector<std::string> &sandbox)
{
    if (Tracing())
        TraceLine("root").Text("path", root).Text("kind", kind.name).List("sandbox", sandbox).Write();
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
    const RootKindRow &kind = RootKindOf(root);
    if (!kind.parserAsks && !kind.ownChild) {
        TraceRoot(root, kind, {});
        ReadEmpty(parsed, kind.find(root, windir, use).problem); // by its type alone: nothing is read
        return;
    }
    parsed.job.root = root;
    parsed.job.windir = windir;
    parsed.job.use = use;
    parsed.job.kind = kind.kind;
    parsed.job.image = kind.ownChild;
#if defined(DOROVIVI_PARSE_IN_PROCESS)
    // The fuzz build reads the root as the child would, in this process, and
    // asks the registry the child would answer from: a run costs no fork.
    static ParserStart read;
    if (kind.ownChild)
        FindForParser(&parsed.job);
    ReadForParser(&parsed.job, &read);
    TraceRoot(root, kind, {});
    parsed.windowsFound = read.windowsFound != 0;
    parsed.source = parsed.job.opened.source;
    return;
#endif
    // A parser opens no file of the root: the program opens what it names,
    // within the root's reach (an export's one file, what lies below a
    // drive, its links followed as its user laid it out), and hands it over;
    // an image's own child asks this one, before it is itself confined, and
    // then serves it the hives. A 95/98 installation's library is loaded only
    // once SYSTEM.DAT is found, so such a parser may read where libraries lie.
    static const char *const nothing[] = {nullptr};
    static const char *const libraries[] = {"/etc/ld.so.cache", "/usr/lib", "/lib"};
    BrokerScope scope{kind.reachFrom(root), kind.reach, {}};
    SandboxLimits limits{ParserCpuSeconds, ParserWallSeconds, nullptr, use};
    if (kind.parserAsks)
        limits.broker = &scope;
    limits.readableWhileWorking = kind.parserLoadsLibraries ? libraries : nothing;
    limits.readableWorkingCount = kind.parserLoadsLibraries ? sizeof libraries / sizeof libraries[0] : 0;
    if (kind.ownChild)
        limits.beforeLockdown = FindForParser;
    static ParserStart start;
    start = ParserStart();
    RemoteRegistry &remote = parsed.remote;
    remote.root = root;
    remote.what = kind.what;
    SandboxOutcome outcome = StartSandboxedServer(ReadForParser, AnswerForParser, &parsed.job, &start,
                                                  sizeof start, limits, remote.server);
    const LockdownReport &held = remote.server.lockdown;
    bool answered = outcome.end == SandboxEnd::Answered;
    MakeReportSound(start.imageLockdown); // as the child sent it
    // Nothing is written to a trace that is one of the root's files, not
    // even the root event, and the line says so first, whatever follows.
    for (const auto &line : remote.server.startLines)
        if (line.first == LineKind::TraceOff)
            StopTraceAsEvidence(line.second);
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
    remote.platformId = start.platformId <= VER_PLATFORM_WIN32_NT ? start.platformId : 0; // no other family
    remote.softwareUnread = {start.softwareFile.Take(), start.softwareUnread.Take()};
    parsed.windowsFound = start.windowsFound != 0;
    parsed.source = &remote;
}

void CloseParsedRoot(ParsedRoot &parsed)
{
#if defined(DOROVIVI_PARSE_IN_PROCESS)
    CloseOpenedRegistry(parsed.job.opened);
    parsed.job.found = Installation();
#endif
    StopSandboxedServer(parsed.remote.server);
    parsed.remote.said = false;
    parsed.remote.keptCount = parsed.remote.keptUsed = 0;
    parsed.remote.softwareUnread = Fault();
    parsed.source = nullptr;
    parsed.windowsFound = false;
}

std::string ListedStates(const ParsedRoot &parsed)
{
#if defined(DOROVIVI_PARSE_IN_PROCESS)
    return parsed.job.found.state.list;
#endif
    return parsed.source == &parsed.remote ? parsed.remote.StateList() : "";
}
