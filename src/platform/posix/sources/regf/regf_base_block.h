// The base block that opens a primary file, and the partial copy of it
// (its first sector) that opens each transaction log.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kRegfBaseBlockSize = 4096;
constexpr std::size_t kRegfSectorSize = 512; // a log keeps this much of the block
constexpr std::size_t kRegfSignatureAt = 0;  // "regf"
constexpr std::size_t kRegfPrimarySequenceAt = 4;
constexpr std::size_t kRegfSecondarySequenceAt = 8;
constexpr std::size_t kRegfLastWrittenAt = 12;
constexpr std::size_t kRegfMajorVersionAt = 20;
constexpr std::size_t kRegfMinorVersionAt = 24;
constexpr std::size_t kRegfFileTypeAt = 28;
constexpr std::size_t kRegfRootCellAt = 36; // offset in the bins of the root key's cell
constexpr std::size_t kRegfHiveBinsSizeAt = 40;
constexpr std::size_t kRegfClusteringFactorAt = 44;
constexpr std::size_t kRegfFlagsAt = 144;
constexpr std::size_t kRegfChecksumAt = 508; // XOR of the 32-bit words before it

constexpr std::uint32_t kRegfFileTypePrimary = 0;
constexpr std::uint32_t kRegfFileTypeLog = 1;        // old format, XP on
constexpr std::uint32_t kRegfFileTypeEarlyLog = 2;   // old format, up to 2000
constexpr std::uint32_t kRegfFileTypeEntryLog = 6;   // new format, log entries
constexpr std::uint32_t kRegfHiveBinAlignment = 4096;
constexpr std::uint32_t kRegfFlagLocked = 1;         // the one flag a log entry carries

struct RegfBaseBlock {
    bool signatureValid = false;
    bool checksumValid = false;
    std::uint32_t primarySequence = 0;
    std::uint32_t secondarySequence = 0;
    std::uint64_t lastWritten = 0;
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t fileType = 0;
    std::uint32_t hiveBinsSize = 0;
    std::uint32_t clusteringFactor = 0;
    std::uint32_t flags = 0;
};

// The checksum of the block's first 508 bytes, as the writer stores it.
std::uint32_t RegfBaseBlockChecksum(const unsigned char *block);

// False when fewer than a sector's bytes are given.
bool ReadRegfBaseBlock(const unsigned char *bytes, std::size_t size, RegfBaseBlock &block);

// Signed "regf" and its checksum right.
bool RegfBaseBlockIntact(const RegfBaseBlock &block);

// Its last write did not finish: sequence numbers differ, or the checksum is wrong.
bool RegfHiveDirty(const RegfBaseBlock &block);

// Makes a block (at least a sector) read as a consistent primary's: both
// sequence numbers `sequence`, the bins size, file type primary, checksum.
void SealRegfBaseBlock(unsigned char *block, std::uint32_t sequence, std::uint32_t hiveBinsSize);
