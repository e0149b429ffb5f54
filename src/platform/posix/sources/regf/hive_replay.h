// Brings a dirty NT hive up to date from its transaction logs, in memory.
// The plan reads only the primary's base block and the logs, so its cost
// follows the logs; it gives an overlay of pages that the hive is then read
// through (OverlayHiveBytes), the primary never copied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/base/file_bytes.h"
#include "platform/posix/sources/regf/regf_base_block.h"

constexpr std::size_t kHiveReplayLargestLogCount = 3; // NAME.LOG, NAME.LOG1, NAME.LOG2

struct HiveLogFile {
    std::string name;                     // as the caller reports it
    const unsigned char *bytes = nullptr; // the whole log; may be empty
    std::size_t size = 0;
};

struct HiveOverlayPage {
    std::uint64_t offset = 0;             // in the primary file, base block included
    const unsigned char *bytes = nullptr; // in the replay's page store
    std::size_t size = 0;
};

struct HiveReplay {
    bool dirty = false;    // the primary's last write did not finish
    bool replayed = false; // logs were applied: the overlay is the hive to read
    std::vector<std::string> logsApplied;
    // Dirty but not replayed: why not. Replayed: where it stopped short, if it did.
    std::string reason;
    unsigned char baseBlock[kRegfBaseBlockSize] = {};
    std::uint64_t hiveSize = 0; // base block and hive bins data
    std::vector<HiveOverlayPage> pages; // in order; a later page wins
    // The pages' bytes, copied out of the logs into one block, so that the
    // logs need not outlive the plan; shared by copies of the replay.
    std::shared_ptr<const WholeFile> pageStore;
};

// `primaryHead` is the primary's first bytes (its base block, up to 4096),
// `primarySize` its file size. Up to kHiveReplayLargestLogCount logs, in any
// order and either format; the ones that do not belong are passed over.
void PlanHiveReplay(const unsigned char *primaryHead, std::size_t headSize, std::uint64_t primarySize,
                    const HiveLogFile *logs, std::size_t logCount, HiveReplay &replay);
