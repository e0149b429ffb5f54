// A new-format transaction log (Windows 8.1 on): the first sector of the
// base block, then "HvLE" log entries, each a whole number of sectors:
// header, dirty page references (offset, size), and the pages themselves.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kRegfLogEntriesAt = 512;
constexpr std::size_t kRegfLogEntryAlignment = 512;
constexpr std::size_t kRegfLogEntrySignatureAt = 0; // "HvLE"
constexpr std::size_t kRegfLogEntrySizeAt = 4;
constexpr std::size_t kRegfLogEntryFlagsAt = 8;
constexpr std::size_t kRegfLogEntrySequenceAt = 12;
constexpr std::size_t kRegfLogEntryHiveBinsSizeAt = 16;
constexpr std::size_t kRegfLogEntryPageCountAt = 20;
constexpr std::size_t kRegfLogEntryHash1At = 24; // over the references and pages
constexpr std::size_t kRegfLogEntryHash2At = 32; // over the 32 bytes before it
constexpr std::size_t kRegfLogEntryHeaderSize = 40;
constexpr std::size_t kRegfPageReferenceSize = 8; // offset in the bins, size

enum class RegfLogEntryFault {
    None,
    Signature,   // not "HvLE": where a log's entries end
    Size,        // size not whole sectors, or past the log's end
    Hash,
    HiveBinsSize,
    Pages,       // references past the entry, or pages past the hive bins data
};

struct RegfLogEntry {
    std::uint32_t size = 0;
    std::uint32_t flags = 0;
    std::uint32_t sequence = 0;
    std::uint32_t hiveBinsSize = 0;
    std::uint32_t pageCount = 0;
    const unsigned char *references = nullptr;
    const unsigned char *pages = nullptr;
};

// Reads and checks the entry at the start of `bytes` (the rest of the log).
// The header fields are filled even when a later check fails, so a fault can
// name the entry.
RegfLogEntryFault ReadRegfLogEntry(const unsigned char *bytes, std::size_t size, RegfLogEntry &entry);

// Page `index` of a checked entry: where it goes in the hive bins data and
// its bytes. The pages follow one another, so `pageAt` carries the running
// position from the first (pass 0 with index 0).
void RegfLogEntryPage(const RegfLogEntry &entry, std::uint32_t index, std::size_t &pageAt, std::uint32_t &binsOffset,
                      std::uint32_t &pageSize, const unsigned char *&pageBytes);

// The words a fault is reported in ("fails its hash").
const char *RegfLogEntryFaultText(RegfLogEntryFault fault);
