// GUIDs as Windows shows them: "{3E55195C-8811-4D9B-97B4-2B9E5F8F5384}",
// the first three fields little-endian on disk.
#pragma once

#include <cstdio>
#include <string>

inline std::string FveGuidText(const unsigned char *g)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3],
                  g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
    return text;
}
