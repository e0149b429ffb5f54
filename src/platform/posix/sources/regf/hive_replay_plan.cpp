// Which logs to apply: a clean primary needs none; a dirty one takes the
// new-format logs when it has any sound ones, otherwise the newest sound
// old-format log written for this primary.
#include "platform/posix/sources/regf/hive_replay.h"

#include <algorithm>
#include <cstring>

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

} // namespace

void AddOverlayPage(HiveReplay &replay, std::uint64_t binsOffset, const unsigned char *bytes, std::size_t size)
{
    HiveOverlayPage page;
    page.offset = kRegfBaseBlockSize + binsOffset;
    page.bytes.assign(reinterpret_cast<const char *>(bytes), size);
    replay.pages.push_back(std::move(page));
}

void StartBaseBlock(HiveReplay &replay, const unsigned char *primaryHead, std::size_t headSize,
                    const HivePrimaryState &primary, const HiveLogState *standIn)
{
    std::memset(replay.baseBlock, 0, sizeof replay.baseBlock);
    std::memcpy(replay.baseBlock, primaryHead, std::min(headSize, sizeof replay.baseBlock));
    if (!primary.intact && standIn != nullptr)
        std::memcpy(replay.baseBlock, standIn->file->bytes, kRegfSectorSize);
}

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

    if (std::any_of(states, states + logCount, IsEntryLog))
        ReplayLogEntries(primary, states, logCount, primaryHead, headSize, replay);
    else
        ReplayOldLog(primary, states, logCount, primaryHead, headSize, replay);
    if (!replay.replayed)
        replay.pages.clear();
}
