#include "platform/posix/root/cabinet_header.h"

#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/filetime_text.h"
#include "platform/posix/base/text_compare.h"

namespace {

// Cabinets store the time of the machine that made them, with no zone.
bool DosTime(std::uint16_t date, std::uint16_t time, std::uint64_t &filetime)
{
    std::uint32_t seconds = (time >> 11) * 3600u + ((time >> 5) & 63u) * 60u + (time & 31u) * 2u;
    return FileTimeOfDate(1980u + (date >> 9), (date >> 5) & 15u, date & 31u, seconds, filetime);
}

} // namespace

bool FindCabinetMember(const unsigned char *bytes, std::size_t size, const char *name, CabinetMember &member,
                       Fault &fault)
{
    if (size < kCabHeaderSize || std::memcmp(bytes, kCabSignature, 4) != 0) {
        fault.words = "not a cabinet (no MSCF header)";
        return false;
    }
    std::uint32_t at = ReadLe32(bytes + kCabFilesOffsetAt);
    std::uint16_t count = ReadLe16(bytes + kCabFileCountAt);
    for (std::uint16_t i = 0; i < count; ++i) {
        if (at < kCabHeaderSize || at > size || size - at < kCabFileNameAt + 1) {
            fault.words = "the cabinet's file entry " + std::to_string(i + 1) + " lies past its first " +
                          std::to_string(size) + " bytes";
            return false;
        }
        const unsigned char *entry = bytes + at;
        std::size_t room = size - at - kCabFileNameAt;
        if (room > kCabFileNameLargest)
            room = kCabFileNameLargest;
        const void *end = std::memchr(entry + kCabFileNameAt, 0, room);
        if (end == nullptr) {
            fault.words = "the cabinet's file entry " + std::to_string(i + 1) + " has no ended name";
            return false;
        }
        std::size_t length = static_cast<const unsigned char *>(end) - (entry + kCabFileNameAt);
        std::string entryName(reinterpret_cast<const char *>(entry + kCabFileNameAt), length);
        if (RegNamesEqual(entryName, name)) {
            member.size = ReadLe32(entry + kCabFileSizeAt);
            if (!DosTime(ReadLe16(entry + kCabFileDateAt), ReadLe16(entry + kCabFileTimeAt), member.written))
                member.written = 0;
            return true;
        }
        at += static_cast<std::uint32_t>(kCabFileNameAt + length + 1);
    }
    fault.words = std::string("the cabinet holds no ") + name;
    return false;
}
