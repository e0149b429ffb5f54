#include "platform/posix/bitlocker/fve_metadata_entry.h"

#include "platform/posix/base/byte_order.h"

bool ReadFveEntry(const unsigned char *area, std::size_t size, std::size_t at, FveEntry &entry)
{
    if (at > size || size - at < FveEntryHeadSize)
        return false;
    const unsigned char *head = area + at;
    entry.at = at;
    entry.size = ReadLe16(head + FveEntrySizeAt);
    entry.type = ReadLe16(head + FveEntryTypeAt);
    entry.value = ReadLe16(head + FveEntryValueAt);
    return entry.size >= FveEntryHeadSize && entry.size <= size - at;
}

bool FindFveEntry(const unsigned char *area, std::size_t begin, std::size_t end, std::uint16_t value,
                  FveEntry &entry)
{
    // Walked as a slice of its own, so that no entry reaches past `end`.
    for (std::size_t at = 0; ReadFveEntry(area + begin, end - begin, at, entry); at += entry.size) {
        if (entry.value == value) {
            entry.at += begin;
            return true;
        }
    }
    return false;
}
