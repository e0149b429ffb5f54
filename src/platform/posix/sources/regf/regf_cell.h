// A hive opened for reading cell by cell: its base block's facts, the bin a
// cell lies in, and cells read with every offset and size checked against
// the hive bins and the cell's own bin. Faults stay in the hive (the first
// one wins) until cleared; a function that meets one returns false.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/posix/sources/regf/regf_fault.h"
#include "platform/posix/sources/regf/regf_hive_bin.h"
#include "platform/posix/sources/regf/regf_hive_bytes.h"

struct RegfBin {
    std::uint32_t start = 0; // in the hive bins
    std::uint32_t size = 0;  // 0: none yet
};

constexpr std::size_t kRegfBinsRemembered = 8;

struct RegfReader {
    const HiveBytes *bytes = nullptr;
    std::uint32_t binsSize = 0;
    std::uint32_t rootCell = 0;
    std::uint32_t minorVersion = 0;
    RegfFault fault;
    // Bins cells were last found in: a lookup goes back and forth between a
    // list and the keys it names, often in a few bins.
    RegfBin bins[kRegfBinsRemembered];
    std::size_t nextBin = 0;
};

// A cell in use: where it starts (its size field) and how many bytes of
// record follow the size.
struct RegfCell {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

// Reads the base block of `bytes`: false (with the fault) unless it is a
// regf hive of major version 1 with a bins size in whole bins. Neither the
// checksum nor the sequence numbers are asked for: a dirty primary reads as
// it stands.
bool RegfOpenHive(const HiveBytes &bytes, RegfReader &hive);

// Records a fault (unless one is held already) and returns false.
bool RegfFail(RegfReader &hive, RegfFaultKind kind, std::uint32_t offset);

void RegfClearFault(RegfReader &hive);

// The allocated cell at `offset`, checked against its bin.
bool RegfLoadCell(RegfReader &hive, std::uint32_t offset, RegfCell &cell);

// `size` bytes from `at` in the cell's record; `past` names the fault when
// they run past the cell.
bool RegfReadCell(RegfReader &hive, const RegfCell &cell, std::uint32_t at, void *buffer, std::size_t size,
                  RegfFaultKind past = RegfFaultKind::RecordPastCell);

// A cell whose record starts with `signature` (2 bytes) and holds at least
// `fixedSize` bytes, read into `head`; `wrong` names the fault otherwise.
// Up to `extra` bytes more come in the same read where the cell has them
// (`head` has room for them): `got` says how many bytes `head` holds.
bool RegfLoadRecord(RegfReader &hive, std::uint32_t offset, const char *signature, RegfFaultKind wrong,
                    unsigned char *head, std::size_t fixedSize, RegfCell &cell, std::size_t extra = 0,
                    std::size_t *got = nullptr);
