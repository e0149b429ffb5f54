#include "platform/posix/sources/regf_hive_recovery.h"

#include "platform/posix/sources/regf/regf_hive_check.h"

namespace {

// The last part of a name as messages give it, a path on a drive or
// "image: partition(1)\WINNT\system32\config\SYSTEM.LOG1" in an image.
std::string FileName(const std::string &name)
{
    std::size_t cut = name.find_last_of("/\\");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

std::string Listed(const std::vector<std::string> &names)
{
    std::string text;
    for (const std::string &name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

} // namespace

bool RecoverRegfHive(const unsigned char *head, std::size_t headSize, std::uint64_t primarySize,
                     const std::vector<RegistryFile> &logs, HiveReplay &replay, HiveFileFacts &facts, Fault &note)
{
    facts.replayed.clear();
    note = Fault();
    RegfBaseBlock base;
    // What is no hive at all is for the open to name, not a dirty hive.
    if (!ReadRegfBaseBlock(head, headSize, base) || !base.signatureValid || !RegfHiveDirty(base))
        return false;
    std::vector<WholeFile> bytes(logs.size());
    std::vector<HiveLogFile> files;
    std::vector<std::string> skipped;
    for (std::size_t i = 0; i < logs.size() && files.size() < kHiveReplayLargestLogCount; ++i) {
        Fault unread = {"", logs[i].unopened};
        if (!logs[i].Open() || !ReadWholeFile(*logs[i].bytes, kRegistryLogLargest, bytes[i], unread)) {
            skipped.push_back(FileName(logs[i].name) + " not read: " + unread.words);
            continue;
        }
        HiveLogFile file;
        file.name = FileName(logs[i].name);
        file.bytes = bytes[i].bytes;
        file.size = bytes[i].size;
        files.push_back(file);
    }
    PlanHiveReplay(head, headSize, primarySize, files.data(), files.size(), replay);
    std::string why = logs.empty() ? "no transaction log beside it" : replay.reason;
    bool replayed = replay.replayed;
    if (replayed) {
        facts.replayed = replay.logsApplied;
        note.words = "dirty hive; replayed " + Listed(replay.logsApplied);
        if (!replay.reason.empty())
            skipped.insert(skipped.begin(), "stopped short: " + replay.reason);
        // What comes out is checked as a primary is before it is read.
        std::string fault = RegfBaseBlockFault(replay.baseBlock, sizeof replay.baseBlock, replay.hiveSize);
        if (!fault.empty()) {
            RegfReplayMisfit(fault, facts, note);
            return false;
        }
    } else {
        note.words = "dirty hive, not replayed (" + why + ")";
    }
    if (!skipped.empty())
        note.words += replayed ? " (" + Listed(skipped) + ")" : "; " + Listed(skipped);
    return replayed;
}

void RegfReplayMisfit(const std::string &why, HiveFileFacts &facts, Fault &note)
{
    bool one = facts.replayed.size() == 1;
    note = {"", std::string("dirty hive, not replayed: its ") + (one ? "log " : "logs ") + Listed(facts.replayed) +
                    (one ? " does" : " do") + " not fit it (replayed, " + why + ")"};
    facts.replayed.clear();
}
