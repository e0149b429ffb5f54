// A metadata entry: an 8-byte head (size, what the entry is for, what its
// value is, version) and the value. Protectors hold entries of their own.
#pragma once

#include <cstddef>
#include <cstdint>

const std::size_t FveEntryHeadSize = 8;
const std::size_t FveEntrySizeAt = 0;   // u16: head and value
const std::size_t FveEntryTypeAt = 2;   // u16
const std::size_t FveEntryValueAt = 4;  // u16
const std::size_t FveEntryVersionAt = 6; // u16

// What an entry is for.
const std::uint16_t FveEntryProperty = 0x0000; // inside another entry
const std::uint16_t FveEntryVolumeMasterKey = 0x0002;
const std::uint16_t FveEntryFullVolumeKey = 0x0003;
const std::uint16_t FveEntryStartupKey = 0x0006;
const std::uint16_t FveEntryDescription = 0x0007;
const std::uint16_t FveEntryVolumeHeaderBlock = 0x000f;

// What its value is.
const std::uint16_t FveValueKey = 0x0001;
const std::uint16_t FveValueString = 0x0002;   // UTF-16LE, NUL-terminated
const std::uint16_t FveValueStretchKey = 0x0003;
const std::uint16_t FveValueUseKey = 0x0004;
const std::uint16_t FveValueAesCcmKey = 0x0005;
const std::uint16_t FveValueVolumeMasterKey = 0x0008;
const std::uint16_t FveValueExternalKey = 0x0009;
const std::uint16_t FveValueOffsetAndSize = 0x000f;

// The key value: its method, then the key.
const std::size_t FveKeyMethodAt = 0; // u32
const std::size_t FveKeyBytesAt = 4;

// The volume header block value: where the relocated boot sectors are.
const std::size_t FveHeaderBlockOffsetAt = 0; // u64
const std::size_t FveHeaderBlockSizeAt = 8;   // u64
const std::size_t FveHeaderBlockValueSize = 16;

// The use-key value (a startup key's VMK): a u32, then an AES-CCM entry.
const std::size_t FveUseKeyEntryAt = 4;

struct FveEntry {
    std::size_t at = 0;   // from the start of the area walked
    std::size_t size = 0; // head and value
    std::uint16_t type = 0;
    std::uint16_t value = 0;
};

// The entry at `at` of the `size` bytes of `area`, false at the end of the
// list (a zero size, or too few bytes left for a head) or where the entry
// says it is larger than what is left.
bool ReadFveEntry(const unsigned char *area, std::size_t size, std::size_t at, FveEntry &entry);

// The first entry of `value` within [begin, end) of `area`; false where none.
bool FindFveEntry(const unsigned char *area, std::size_t begin, std::size_t end, std::uint16_t value,
                  FveEntry &entry);
