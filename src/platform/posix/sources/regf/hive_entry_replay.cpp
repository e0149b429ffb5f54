// The new format logs numbered entries. They run on one number at a time
// from the older log into the newer, starting at the first not older than
// the primary's last finished write; the replay ends at a gap or a bad
// entry and keeps what came before it.
#include <algorithm>

#include "platform/posix/sources/regf/hive_replay_steps.h"
#include "platform/posix/sources/regf/regf_log_entry.h"

namespace {

struct EntryWalk {
    std::uint32_t threshold = 0; // entries below it are already in the primary
    bool started = false;
    std::uint32_t expected = 0;  // the next number, once started
    std::uint32_t binsSize = 0;
    std::uint32_t flags = 0;
    std::string stop;            // why the walk ended early
};

std::string EntryName(const RegfLogEntry &entry)
{
    return "log entry " + std::to_string(entry.sequence);
}

// Reads what it can of one log; false when the replay must end here.
bool WalkLog(const HiveLogState &log, const HivePrimaryState &primary, EntryWalk &walk, HiveLogReading &reading)
{
    const HiveLogFile &file = *log.file;
    bool appliedHere = false;
    for (std::size_t at = kRegfLogEntriesAt; at < file.size;) {
        RegfLogEntry entry;
        RegfLogEntryFault fault = ReadRegfLogEntry(file.bytes + at, file.size - at, entry);
        if (fault == RegfLogEntryFault::Signature && at != kRegfLogEntriesAt)
            break; // the end of what was written last
        if (fault == RegfLogEntryFault::None && entry.hiveBinsSize > primary.largestBins)
            fault = RegfLogEntryFault::HiveBinsSize;
        if (fault != RegfLogEntryFault::None) {
            std::string name = fault == RegfLogEntryFault::Signature
                                   ? "the first log entry of " + file.name
                                   : EntryName(entry) + " in " + file.name;
            walk.stop = name + " " + RegfLogEntryFaultText(fault);
            return false;
        }
        at += entry.size;
        if (!walk.started) {
            if (entry.sequence < walk.threshold)
                continue;
            walk.started = true;
        } else if (entry.sequence < walk.expected) {
            continue; // already applied, or left behind by an earlier write
        } else if (entry.sequence > walk.expected) {
            walk.stop = "log entry " + std::to_string(walk.expected) + " missing (" + file.name + " goes on at " +
                        std::to_string(entry.sequence) + ")";
            return false;
        }
        std::size_t pageAt = 0;
        for (std::uint32_t i = 0; i < entry.pageCount; ++i) {
            std::uint32_t offset = 0, size = 0;
            const unsigned char *bytes = nullptr;
            RegfLogEntryPage(entry, i, pageAt, offset, size, bytes);
            reading.pages.push_back(HiveLogPage{offset, bytes, size});
        }
        walk.expected = entry.sequence + 1;
        walk.binsSize = entry.hiveBinsSize;
        walk.flags = entry.flags;
        if (!appliedHere)
            reading.logsApplied.push_back(file.name);
        appliedHere = true;
    }
    return true;
}

} // namespace

HiveLogReading ReadLogEntries(const HivePrimaryState &primary, const HiveLogState *logs, std::size_t logCount)
{
    HiveLogReading reading;
    // A log's base block is written with its first entry: its number orders the logs.
    const HiveLogState *order[kHiveReplayLargestLogCount];
    std::size_t count = 0;
    for (std::size_t i = 0; i < logCount; ++i) {
        if (logs[i].problem == nullptr && logs[i].base.fileType == kRegfFileTypeEntryLog)
            order[count++] = &logs[i];
    }
    std::stable_sort(order, order + count, [](const HiveLogState *a, const HiveLogState *b) {
        return a->base.primarySequence < b->base.primarySequence;
    });
    EntryWalk walk;
    walk.threshold = primary.base.secondarySequence;
    // With the primary's block broken, the newest log's block stands in and
    // only that log is replayed, from its own first entry.
    const HiveLogState *standIn = nullptr;
    if (!primary.intact) {
        standIn = order[count - 1];
        order[0] = standIn;
        count = 1;
        walk.threshold = standIn->base.primarySequence;
    }
    reading.standIn = standIn != nullptr ? standIn->file : nullptr;
    for (std::size_t i = 0; i < count && WalkLog(*order[i], primary, walk, reading); ++i) {
    }
    if (!walk.started) {
        reading.reason = !walk.stop.empty() ? walk.stop
                                            : "no log entry from sequence number " + std::to_string(walk.threshold);
        return reading;
    }
    // Started means an entry was applied, so the size and flags are its.
    reading.reason = walk.stop;
    reading.sequence = walk.expected - 1;
    reading.binsSize = walk.binsSize;
    reading.hasFlags = true;
    reading.flags = walk.flags;
    reading.applies = true;
    return reading;
}
