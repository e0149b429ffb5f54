// What the two log formats' replays share, inside the replay only. Each
// reads its logs and says what they hold; the plan alone builds the hive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/sources/regf/hive_replay.h"

// One log as found: its base block, and whether it can be used at all.
struct HiveLogState {
    const HiveLogFile *file = nullptr;
    RegfBaseBlock base;
    const char *problem = nullptr; // null when usable
};

// The primary as the replay starts from it.
struct HivePrimaryState {
    RegfBaseBlock base;
    bool intact = false;           // signed and its checksum right
    std::uint64_t largestBins = 0; // how far the hive may grow from its logs
};

// Hive bins data as a log holds it, in the log's own bytes.
struct HiveLogPage {
    std::uint64_t binsOffset = 0;
    const unsigned char *bytes = nullptr;
    std::size_t size = 0;
};

// What a format's logs bring to the primary.
struct HiveLogReading {
    bool applies = false; // there is something to replay
    std::string reason;   // as HiveReplay's
    std::vector<std::string> logsApplied;
    const HiveLogFile *standIn = nullptr; // whose base block replaces a broken primary's
    std::vector<HiveLogPage> pages;       // in order; a later page wins
    std::uint32_t sequence = 0;           // of the replayed hive
    std::uint32_t binsSize = 0;
    bool hasFlags = false; // the format logs the base block's flags: `flags` is the last
    std::uint32_t flags = 0;
};

HiveLogReading ReadOldLog(const HivePrimaryState &primary, const HiveLogState *logs, std::size_t logCount);
HiveLogReading ReadLogEntries(const HivePrimaryState &primary, const HiveLogState *logs, std::size_t logCount);
