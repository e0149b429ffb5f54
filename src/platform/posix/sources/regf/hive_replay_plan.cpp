// Which logs to apply: a clean primary needs none; a dirty one takes the
// new-format logs when it has any sound ones, otherwise the newest sound
// old-format log written for this primary.
#include "platform/posix/sources/regf/hive_replay.h"

#include <algorithm>
#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/sources/regf/hive_replay_steps.h"
#include "platform/posix/sources/regf/regf_old_log.h"

namespace {

void CheckLog(const HiveLogFile &file, HiveLogState &log)
{
    log.file = &file;
    if (file.size == 0)
        log.problem = "empty";
    else if (!ReadRegfBaseBlock(file.bytes, file.size, log.base))
        log.problem = "shorter than a base block";
    else if (!log.base.signatureValid)
        log.problem = "base block not signed regf";
    else if (!log.base.checksumValid)
        log.problem = "base block fails its checksum";
    else if (log.base.primarySequence != log.base.secondarySequence)
        log.problem = "base block's sequence numbers differ";
    else if (log.base.fileType != kRegfFileTypeLog && log.base.fileType != kRegfFileTypeEarlyLog &&
             log.base.fileType != kRegfFileTypeEntryLog)
        log.problem = "not a transaction log";
}

bool IsEntryLog(const HiveLogState &log)
{
    return log.problem == nullptr && log.base.fileType == kRegfFileTypeEntryLog;
}

// The hive from what the logs hold: the primary's base block, or a log's
// where the primary's is broken, sealed with the new sequence and size, and
// the logs' pages to lay over the primary.
void BuildReplay(const HiveLogReading &reading, const unsigned char *primaryHead, std::size_t headSize,
                 HiveReplay &replay)
{
    std::memset(replay.baseBlock, 0, sizeof replay.baseBlock);
    std::memcpy(replay.baseBlock, primaryHead, std::min(headSize, sizeof replay.baseBlock));
    if (reading.standIn != nullptr)
        std::memcpy(replay.baseBlock, reading.standIn->bytes, kRegfSectorSize);
    std::size_t total = 0;
    for (const HiveLogPage &from : reading.pages)
        total += from.size;
    std::shared_ptr<WholeFile> store = std::make_shared<WholeFile>();
    if (!MapWholeFile(*store, total)) {
        replay.reason = "no memory for the logs' pages";
        return;
    }
    replay.pages.reserve(reading.pages.size());
    std::size_t at = 0;
    for (const HiveLogPage &from : reading.pages) {
        HiveOverlayPage page;
        page.offset = kRegfBaseBlockSize + from.binsOffset;
        page.bytes = store->bytes + at;
        page.size = from.size;
        std::memcpy(store->bytes + at, from.bytes, from.size);
        at += from.size;
        replay.pages.push_back(page);
    }
    replay.pageStore = store;
    if (reading.hasFlags) {
        std::uint32_t flags = ReadLe32(replay.baseBlock + kRegfFlagsAt);
        flags = (flags & ~kRegfFlagLocked) | (reading.flags & kRegfFlagLocked);
        WriteLe32(replay.baseBlock + kRegfFlagsAt, flags);
    }
    SealRegfBaseBlock(replay.baseBlock, reading.sequence, reading.binsSize);
    replay.hiveSize = kRegfBaseBlockSize + static_cast<std::uint64_t>(reading.binsSize);
    replay.replayed = true;
}

} // namespace

void PlanHiveReplay(const unsigned char *primaryHead, std::size_t headSize, std::uint64_t primarySize,
                    const HiveLogFile *logs, std::size_t logCount, HiveReplay &replay)
{
    replay = HiveReplay();
    HivePrimaryState primary;
    if (!ReadRegfBaseBlock(primaryHead, headSize, primary.base)) {
        replay.dirty = true;
        replay.reason = "primary shorter than a base block";
        return;
    }
    primary.intact = RegfBaseBlockIntact(primary.base);
    replay.dirty = RegfHiveDirty(primary.base);
    if (!replay.dirty)
        return; // newer-looking logs beside a clean primary are stale
    // Growth comes only from pages in the logs, so it is bounded by their size.
    std::uint64_t logBytes = 0;
    HiveLogState states[kHiveReplayLargestLogCount];
    logCount = std::min(logCount, kHiveReplayLargestLogCount);
    for (std::size_t i = 0; i < logCount; ++i) {
        CheckLog(logs[i], states[i]);
        logBytes += logs[i].size;
    }
    // The file's size, not its block's word for it, which may be anything.
    std::uint64_t ownBins = primarySize > kRegfBaseBlockSize ? primarySize - kRegfBaseBlockSize : 0;
    primary.largestBins = (ownBins + logBytes + kRegfHiveBinAlignment - 1) / kRegfHiveBinAlignment *
                          kRegfHiveBinAlignment;

    HiveLogReading reading = std::any_of(states, states + logCount, IsEntryLog)
                                 ? ReadLogEntries(primary, states, logCount)
                                 : ReadOldLog(primary, states, logCount);
    replay.reason = reading.reason;
    replay.logsApplied = reading.logsApplied;
    if (reading.applies)
        BuildReplay(reading, primaryHead, headSize, replay);
}
