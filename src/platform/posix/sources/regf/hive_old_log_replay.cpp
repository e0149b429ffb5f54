// The old format logs whole dirty sectors: the newest sound log written for
// this primary (same last-written time) is laid over it as it stands.
#include <cstring>

#include "platform/posix/sources/regf/hive_replay_steps.h"
#include "platform/posix/sources/regf/regf_old_log.h"

namespace {

std::string NoValidLog(const HiveLogState *logs, std::size_t logCount)
{
    std::string reason = "no valid log";
    for (std::size_t i = 0; i < logCount; ++i)
        reason += std::string(i == 0 ? " (" : "; ") + logs[i].file->name + ": " + logs[i].problem;
    return logCount == 0 ? reason : reason + ")";
}

} // namespace

void ReplayOldLog(const HivePrimaryState &primary, const HiveLogState *logs, std::size_t logCount,
                  const unsigned char *primaryHead, std::size_t headSize, HiveReplay &replay)
{
    HiveLogState checked[kHiveReplayLargestLogCount];
    const HiveLogState *newest = nullptr;
    for (std::size_t i = 0; i < logCount; ++i) {
        checked[i] = logs[i];
        // A broken primary block has no time to match; its log stands in.
        if (checked[i].problem == nullptr && primary.intact &&
            checked[i].base.lastWritten != primary.base.lastWritten)
            checked[i].problem = "last written time differs from the primary's";
        if (checked[i].problem == nullptr &&
            (newest == nullptr || checked[i].base.primarySequence > newest->base.primarySequence))
            newest = &checked[i];
    }
    if (newest == nullptr) {
        replay.reason = NoValidLog(checked, logCount);
        return;
    }
    RegfOldLog log;
    const char *problem = nullptr;
    if (!ReadRegfOldLog(newest->file->bytes, newest->file->size, log, problem)) {
        replay.reason = newest->file->name + ": " + problem;
        return;
    }
    if (log.base.hiveBinsSize > primary.largestBins) {
        replay.reason = newest->file->name + ": hive bins data size past what the primary and logs hold";
        return;
    }
    StartBaseBlock(replay, primaryHead, headSize, primary, newest);
    std::size_t bit = 0, sector = 0;
    RegfDirtyRun run;
    while (NextRegfDirtyRun(log, bit, sector, run))
        AddOverlayPage(replay, run.binsOffset, run.bytes, run.size);
    std::uint32_t sequence = primary.intact ? primary.base.primarySequence : log.base.primarySequence;
    SealRegfBaseBlock(replay.baseBlock, sequence, log.base.hiveBinsSize);
    replay.hiveSize = kRegfBaseBlockSize + static_cast<std::uint64_t>(log.base.hiveBinsSize);
    replay.replayed = true;
    replay.logsApplied.push_back(newest->file->name);
}
