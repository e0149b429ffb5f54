// A GUID as Windows stores it: its first three fields little-endian.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/posix/base/byte_order.h"

const std::size_t GuidSize = 16;

// Its usual upper-case text, into `text` of at least 37 bytes.
inline void GuidText(const unsigned char *guid, char *text, std::size_t capacity)
{
    std::snprintf(text, capacity, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  static_cast<unsigned>(ReadLe32(guid)), ReadLe16(guid + 4), ReadLe16(guid + 6), guid[8], guid[9],
                  guid[10], guid[11], guid[12], guid[13], guid[14], guid[15]);
}

// Between braces, as Windows shows it: "{3E55195C-8811-4D9B-97B4-2B9E5F8F5384}";
// `lower` as the disk formats that record it so write it.
inline std::string BracedGuidText(const unsigned char *guid, bool lower = false)
{
    char text[40];
    GuidText(guid, text, sizeof text);
    std::string braced = std::string("{") + text + "}";
    for (char &c : braced)
        c = lower ? static_cast<char>(std::tolower(static_cast<unsigned char>(c))) : c;
    return braced;
}
