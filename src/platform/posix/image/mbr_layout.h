// A master or extended boot record: four 16-byte partition entries and the
// boot signature, in a 512-byte sector.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/posix/base/byte_order.h"

const std::size_t BootRecordSize = 512;
const std::size_t BootRecordTableAt = 446;
const std::size_t BootRecordEntrySize = 16;
const int BootRecordEntries = 4;
const std::size_t BootRecordSignatureAt = 510; // 0x55 0xAA

const std::size_t EntryStatusAt = 0; // 0x80: bootable
const std::size_t EntryTypeAt = 4;
const std::size_t EntryStartAt = 8; // first sector, relative as the table has it
const unsigned char BootableStatus = 0x80;

inline bool HasBootSignature(const unsigned char *record)
{
    return record[BootRecordSignatureAt] == 0x55 && record[BootRecordSignatureAt + 1] == 0xAA;
}

inline const unsigned char *BootRecordEntry(const unsigned char *record, int entry)
{
    return record + BootRecordTableAt + BootRecordEntrySize * static_cast<std::size_t>(entry);
}

inline std::uint64_t EntryStart(const unsigned char *entry)
{
    return ReadLe32(entry + EntryStartAt);
}

// CHS, LBA and Linux extended partitions.
inline bool IsExtendedEntry(const unsigned char *entry)
{
    unsigned char type = entry[EntryTypeAt];
    return type == 0x05 || type == 0x0F || type == 0x85;
}
