#include "platform/posix/sources/regf_hive_opening.h"

#include <cerrno>
#include <cstring>

#include "platform/posix/sources/regf/regf_base_block.h"
#include "platform/posix/sources/regf/regf_hive_check.h"
#include "platform/posix/sources/regf_fault_words.h"
#include "platform/posix/sources/regf_hive_kind.h"
#include "platform/posix/sources/regf_hive_recovery.h"

namespace {

// The reader opened on `bytes` as far as its root key; else why not.
bool OpenReader(std::shared_ptr<const FileBytes> bytes, NtHive &hive, std::string &problem)
{
    hive.cached = std::make_shared<CachedFileBytes>(std::move(bytes));
    if (RegfOpenHive(*hive.cached, hive.reader) && RegfRootKey(hive.reader, hive.root))
        return true;
    problem = hive.reader.fault.offset == hive.reader.rootCell && hive.reader.fault.kind != RegfFaultKind::ReadFailed
                  ? "its root key cannot be read (" + RegfFaultWords(hive.reader.fault) + ")"
                  : RegfFaultWords(hive.reader.fault);
    return false;
}

// The replayed hive read as far as its root's keys, `kind` what they say of
// it; else the logs are said not to fit and the primary is read instead.
bool OpenReplayed(NtHive &hive, bool system, HiveFileFacts &facts, Fault &note, std::string &kind)
{
    hive.overlay = std::make_shared<OverlayHiveBytes>(*hive.file, hive.file->Size(), hive.replay);
    std::string problem;
    bool listed = false;
    if (OpenReader(hive.overlay, hive, problem)) {
        kind = RegfHiveKindProblem(hive.reader, hive.root, system, listed);
        if (listed)
            return true;
        problem = RegfFaultWords(hive.reader.fault);
    }
    hive.cached.reset();
    hive.overlay.reset();
    hive.replay = HiveReplay();
    RegfReplayMisfit(problem, facts, note);
    return false;
}

} // namespace

bool OpenNtHive(const RegistryFile &file, const std::vector<RegistryFile> &logs, bool system, NtHive &hive,
                HiveFileFacts &facts, std::vector<std::string> &lines)
{
    hive.name = file.name;
    hive.file = file.bytes;
    facts.file = file.name;
    if (!file.Open()) {
        facts.unread = file.unopened;
        lines.push_back(file.name + ": " + facts.unread + "; read as an empty hive");
        return false;
    }
    // The base block is read once: the replay plan and the checks share it.
    unsigned char head[kRegfBaseBlockSize];
    std::uint64_t size = file.bytes->Size();
    std::size_t headSize = size < sizeof head ? static_cast<std::size_t>(size) : sizeof head;
    Fault note;
    std::string problem, shortfall;
    errno = 0;
    if (headSize > 0 && !file.bytes->ReadAt(0, head, headSize)) {
        problem = std::string("cannot be read (") + (errno != 0 ? std::strerror(errno) : "cut short") + ")";
    } else {
        std::string kind;
        bool opened = RecoverRegfHive(head, headSize, size, logs, hive.replay, facts, note) &&
                      OpenReplayed(hive, system, facts, note, kind);
        bool listed = opened;
        if (!opened) {
            shortfall = RegfHiveShortfall(head, headSize, size);
            problem = RegfBaseBlockFault(head, headSize, size);
            opened = problem.empty() && OpenReader(file.bytes, hive, problem);
            if (opened)
                kind = RegfHiveKindProblem(hive.reader, hive.root, system, listed);
        }
        if (opened && !listed) {
            problem = "its root key's subkeys cannot be read (" + RegfFaultWords(hive.reader.fault) + ")";
        } else if (!kind.empty()) {
            // A hive of another kind is refused, as a USER.DAT is as SYSTEM.DAT.
            problem = (shortfall.empty() ? "" : shortfall + "; ") + kind;
        } else if (opened) {
            hive.open = true;
        }
    }
    RegfClearFault(hive.reader);
    // A hive refused gets one line, what was to be said of it folded in.
    if (!hive.open) {
        facts.unread = (note.words.empty() ? "" : FaultText(note) + "; ") + problem;
        lines.push_back(file.name + ": " + facts.unread + "; read as an empty hive");
        return false;
    }
    if (!note.words.empty())
        lines.push_back(file.name + ": " + FaultText(note) + (facts.replayed.empty() ? "; read as it stands" : ""));
    if (!shortfall.empty())
        lines.push_back(file.name + ": " + shortfall + "; keys past the end read as missing");
    // What is missing from a hive cut short has been said.
    hive.damageSaid = !shortfall.empty();
    return true;
}
