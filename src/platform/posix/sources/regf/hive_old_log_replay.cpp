// The old format logs whole dirty sectors: the newest sound log written for
// this primary (same last-written time) is laid over it as it stands.
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

HiveLogReading ReadOldLog(const HivePrimaryState &primary, const HiveLogState *logs, std::size_t logCount)
{
    HiveLogReading reading;
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
        reading.reason = NoValidLog(checked, logCount);
        return reading;
    }
    RegfOldLog log;
    const char *problem = nullptr;
    if (!ReadRegfOldLog(newest->file->bytes, newest->file->size, log, problem)) {
        reading.reason = newest->file->name + ": " + problem;
        return reading;
    }
    if (log.base.hiveBinsSize > primary.largestBins) {
        reading.reason = newest->file->name + ": hive bins data size past what the primary and logs hold";
        return reading;
    }
    reading.standIn = primary.intact ? nullptr : newest->file;
    std::size_t bit = 0, sector = 0;
    RegfDirtyRun run;
    while (NextRegfDirtyRun(log, bit, sector, run))
        reading.pages.push_back(HiveLogPage{run.binsOffset, run.bytes, run.size});
    reading.sequence = primary.intact ? primary.base.primarySequence : log.base.primarySequence;
    reading.binsSize = log.base.hiveBinsSize;
    reading.applies = true;
    reading.logsApplied.push_back(newest->file->name);
    return reading;
}
