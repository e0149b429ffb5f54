#include "platform/posix/sources/regf/regf_log_entry.h"

#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/sources/regf/marvin32.h"
#include "platform/posix/sources/regf/regf_base_block.h"

RegfLogEntryFault ReadRegfLogEntry(const unsigned char *bytes, std::size_t size, RegfLogEntry &entry)
{
    entry = RegfLogEntry();
    if (size < kRegfLogEntryHeaderSize || std::memcmp(bytes + kRegfLogEntrySignatureAt, "HvLE", 4) != 0)
        return RegfLogEntryFault::Signature;
    entry.size = ReadLe32(bytes + kRegfLogEntrySizeAt);
    entry.flags = ReadLe32(bytes + kRegfLogEntryFlagsAt);
    entry.sequence = ReadLe32(bytes + kRegfLogEntrySequenceAt);
    entry.hiveBinsSize = ReadLe32(bytes + kRegfLogEntryHiveBinsSizeAt);
    entry.pageCount = ReadLe32(bytes + kRegfLogEntryPageCountAt);
    if (entry.size < kRegfLogEntryHeaderSize || entry.size % kRegfLogEntryAlignment != 0 || entry.size > size)
        return RegfLogEntryFault::Size;
    const unsigned char *body = bytes + kRegfLogEntryHeaderSize;
    if (ReadLe64(bytes + kRegfLogEntryHash1At) !=
            Marvin32(body, entry.size - kRegfLogEntryHeaderSize, kRegfLogEntrySeed) ||
        ReadLe64(bytes + kRegfLogEntryHash2At) != Marvin32(bytes, kRegfLogEntryHash2At, kRegfLogEntrySeed))
        return RegfLogEntryFault::Hash;
    if (entry.hiveBinsSize == 0 || entry.hiveBinsSize % kRegfHiveBinAlignment != 0)
        return RegfLogEntryFault::HiveBinsSize;
    // References, then the pages they describe, all inside the entry.
    std::uint64_t room = entry.size - kRegfLogEntryHeaderSize;
    if (entry.pageCount > room / kRegfPageReferenceSize)
        return RegfLogEntryFault::Pages;
    room -= static_cast<std::uint64_t>(entry.pageCount) * kRegfPageReferenceSize;
    entry.references = body;
    entry.pages = body + entry.pageCount * kRegfPageReferenceSize;
    for (std::uint32_t i = 0; i < entry.pageCount; ++i) {
        std::uint32_t offset = ReadLe32(entry.references + i * kRegfPageReferenceSize);
        std::uint32_t pageSize = ReadLe32(entry.references + i * kRegfPageReferenceSize + 4);
        if (pageSize > room || static_cast<std::uint64_t>(offset) + pageSize > entry.hiveBinsSize)
            return RegfLogEntryFault::Pages;
        room -= pageSize;
    }
    return RegfLogEntryFault::None;
}

void RegfLogEntryPage(const RegfLogEntry &entry, std::uint32_t index, std::size_t &pageAt, std::uint32_t &binsOffset,
                      std::uint32_t &pageSize, const unsigned char *&pageBytes)
{
    binsOffset = ReadLe32(entry.references + index * kRegfPageReferenceSize);
    pageSize = ReadLe32(entry.references + index * kRegfPageReferenceSize + 4);
    pageBytes = entry.pages + pageAt;
    pageAt += pageSize;
}

const char *RegfLogEntryFaultText(RegfLogEntryFault fault)
{
    switch (fault) {
    case RegfLogEntryFault::None:
        return "is sound";
    case RegfLogEntryFault::Signature:
        return "is not signed HvLE";
    case RegfLogEntryFault::Size:
        return "has a size past the log's end or not in whole sectors";
    case RegfLogEntryFault::Hash:
        return "fails its hash";
    case RegfLogEntryFault::HiveBinsSize:
        return "has a hive bins data size not a multiple of 4096";
    case RegfLogEntryFault::Pages:
        return "has dirty pages past its end or the hive bins data";
    }
    return "is damaged";
}
