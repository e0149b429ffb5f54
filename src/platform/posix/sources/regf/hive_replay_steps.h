// What the two log formats' replays share, inside the replay only.
#pragma once

#include <cstdint>
#include <string>

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

// Adds `size` bytes for the hive bins data at `binsOffset` to the overlay.
void AddOverlayPage(HiveReplay &replay, std::uint64_t binsOffset, const unsigned char *bytes, std::size_t size);

// Starts the replayed base block from the primary's, or from a log's copy
// when the primary's is broken.
void StartBaseBlock(HiveReplay &replay, const unsigned char *primaryHead, std::size_t headSize,
                    const HivePrimaryState &primary, const HiveLogState *standIn);

void ReplayOldLog(const HivePrimaryState &primary, const HiveLogState *logs, std::size_t logCount,
                  const unsigned char *primaryHead, std::size_t headSize, HiveReplay &replay);
void ReplayLogEntries(const HivePrimaryState &primary, const HiveLogState *logs, std::size_t logCount,
                      const unsigned char *primaryHead, std::size_t headSize, HiveReplay &replay);
