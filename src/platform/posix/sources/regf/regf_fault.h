// What a hive reader found wrong, and where: a kind and the offset, in the
// hive bins, of the cell (or the stray offset) it concerns. The file offset
// is that plus the base block's 4096 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

enum class RegfFaultKind : std::uint8_t {
    None,
    ReadFailed,          // the source gave fewer bytes than the hive declares
    NotAHive,            // no "regf" signature, or a major version other than 1
    BinsSizeInvalid,     // the base block's bins size is 0 or not a multiple of 4096
    OffsetPastBins,      // an offset at or past the end of the hive bins
    OffsetMisaligned,    // a cell offset not on an 8-byte boundary
    NoHiveBin,           // no sound hive bin header holds the cell
    CellSizeInvalid,     // zero, too small, or not a multiple of 8
    CellFree,            // an offset points at an unallocated cell
    CellPastBin,         // the cell runs past the end of its bin
    RecordPastCell,      // a record's fixed fields run past its cell
    NotKeyNode,          // "nk" expected
    NotSubkeyList,       // "li", "lf", "lh" or "ri" expected
    IndexRootNested,     // an "ri" inside an "ri"
    NotValueKey,         // "vk" expected
    NotBigData,          // "db" expected
    CountPastCell,       // a list's count needs more bytes than its cell holds
    NamePastCell,        // a key or value name runs past its cell
    ClassPastCell,       // a class name runs past its cell
    DataPastCell,        // value data runs past its cell
    InlineDataTooLong,   // data kept in the value key itself, but more than 4 bytes
    BigDataSegments,     // a "db" with a segment count other than its data needs
    SubkeyCountMismatch, // a key's subkey count differs from its lists'
    KeyTreeTooDeep,      // deeper than Windows allows (a walk only)
    KeyLoop,             // a key listed below itself (a walk only)
    WalkLimit,           // more keys than the walk was allowed
};

struct RegfFault {
    RegfFaultKind kind = RegfFaultKind::None;
    std::uint32_t offset = 0; // in the hive bins
};

// A short fixed token for a kind ("cell-past-bin"), for messages and tests.
const char *RegfFaultName(RegfFaultKind kind);
