// The release the tool prints and the driver release it checks for, as text,
// taken from the header the build writes, so that a new release changes the
// tool and its tests together.
#pragma once

#include <string>

#include "common/tool_release.h"

// The banner line as the console shows it.
inline const char *ReleaseBanner()
{
    static const std::string banner =
        "Dorovivi utility, Variant " + std::to_string(ToolVariant) + ", V" + ToolVersion + "\n";
    return banner.c_str();
}

// A release number as a driver's registry value holds it; `offset` makes a
// neighbouring release the tool must refuse.
inline const char *ReleaseNumber(long long number, long long offset = 0)
{
    static std::string texts[16];
    static int used = 0;
    const std::string text = std::to_string(number + offset);
    for (int i = 0; i < used; ++i) {
        if (texts[i] == text)
            return texts[i].c_str();
    }
    return used < 16 ? (texts[used] = text, texts[used++].c_str()) : "";
}
