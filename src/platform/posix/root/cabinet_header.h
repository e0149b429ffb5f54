// A Microsoft cabinet's header and its file entries (CFHEADER, CFFILE), read
// for a member's stored date and time without decompressing anything; the
// member's bytes come from libmspack (sources/cabinet_member.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/posix/base/fault.h"

constexpr char kCabSignature[] = "MSCF";
constexpr std::size_t kCabSizeAt = 8;        // cbCabinet
constexpr std::size_t kCabFilesOffsetAt = 16; // coffFiles: where the first CFFILE starts
constexpr std::size_t kCabFileCountAt = 28;   // cFiles, 16 bits
constexpr std::size_t kCabHeaderSize = 36;

constexpr std::size_t kCabFileSizeAt = 0; // cbFile: the member's length
constexpr std::size_t kCabFileDateAt = 10; // MS-DOS date, 16 bits
constexpr std::size_t kCabFileTimeAt = 12; // MS-DOS time, 16 bits
constexpr std::size_t kCabFileNameAt = 16; // ended by a NUL
constexpr std::size_t kCabFileNameLargest = 256;

struct CabinetMember {
    std::uint32_t size = 0;
    std::uint64_t written = 0; // FILETIME of the stored date and time, read as UTC
};

// Finds `name` (any case) among the file entries in the cabinet's first
// `size` bytes; false with `fault` words when the header is not a cabinet's,
// an entry leaves what was read, or no entry has that name.
bool FindCabinetMember(const unsigned char *bytes, std::size_t size, const char *name, CabinetMember &member,
                       Fault &fault);
