// The .reg text the scenarios are written in: sections and string values,
// the cards of each family with their release values, the companion, and
// what the tool prints and leaves in the atom table.
#pragma once

#include <string>

#include "release_text.h"

namespace scenario {

const char CardOne[] = "MORVAL_TECHNOLOGIES-TESSARO/IEEE-A7E2";
const char CardTwo[] = "ZEMTA-TESSARO/IEEE-3F9B";
const char Adapter[] = "Tessaro/IEEE PC Card";

inline std::string Text(const std::string &name, const std::string &value)
{
    std::string escaped;
    for (char c : value) {
        if (c == '\\' || c == '"')
            escaped += '\\';
        escaped += c;
    }
    return "\"" + name + "\"=\"" + escaped + "\"\r\n";
}

inline std::string Section(const std::string &path)
{
    return "\r\n[HKEY_LOCAL_MACHINE\\" + path + "]\r\n";
}

struct Release {
    const char *variant, *major, *minor; // nullptr: value absent
};
const Release Expected = {ReleaseNumber(ToolVariant), ReleaseNumber(ToolVersionMajor),
                           ReleaseNumber(ToolVersionMinor)};
// The same numbers as loose text atoi still reads; a letter reads as 0.
const std::string LooseVariant = std::string("+") + Expected.variant;
const std::string LooseMajor = std::string(" ") + Expected.major + ".10";
const std::string LooseMinor = ToolVersionMinor == 0 ? "x" : std::string("0") + Expected.minor;
const Release Loose = {LooseVariant.c_str(), LooseMajor.c_str(), LooseMinor.c_str()};
const Release OlderMajor = {Expected.variant, ReleaseNumber(ToolVersionMajor, -1), Expected.minor};
const Release NewerMinor = {Expected.variant, Expected.major, ReleaseNumber(ToolVersionMinor, 1)};
const Release NoVariant = {nullptr, Expected.major, Expected.minor};
// Past the int range, and ours again once atoi has wrapped it.
const Release WrappedMajor = {Expected.variant, ReleaseNumber(ToolVersionMajor, 1ll << 32), Expected.minor};

inline std::string Settings(const char *description, const char *ssid, Release release)
{
    std::string body;
    if (description != nullptr)
        body += Text("VendorDescription", description);
    if (ssid != nullptr)
        body += Text("DesiredSSID", ssid);
    if (release.variant != nullptr)
        body += Text("DriverVariant", release.variant);
    if (release.major != nullptr)
        body += Text("DriverMajor", release.major);
    if (release.minor != nullptr)
        body += Text("DriverMinor", release.minor);
    return body;
}

// A card on Windows 98: its enumeration entry and its class key.
inline std::string Card98(const char *card, const std::string &driver, const char *description, const char *ssid,
                          Release release = Expected)
{
    return Section(std::string("Enum\\PCMCIA\\") + card + "\\0") + Text("Driver", driver) +
           Section("System\\CurrentControlSet\\Services\\Class\\" + driver) + Settings(description, ssid, release);
}

// Adapter instance 1 to 9 on NT.
inline std::string CardNt(int instance, const char *description, const char *ssid, Release release = Expected)
{
    return Section("System\\CurrentControlSet\\Services\\TESRO41" + std::to_string(instance) + "\\Parameters") +
           Settings(description, ssid, release);
}

inline std::string NineOtherCards()
{
    std::string all;
    for (int instance = 1; instance <= 9; ++instance)
        all += CardNt(instance, "Other PC Card", "Elsewhere");
    return all;
}

inline std::string Companion(const char *version, const char *software = "Software")
{
    return Section(std::string(software) + "\\KALVORA\\KALVORA PXM") +
           (version != nullptr ? Text("version", version) : "");
}

// What makes an installation 64-bit, as Windows records it.
inline std::string Wow64Environment()
{
    return Section("System\\CurrentControlSet\\Control\\Session Manager\\Environment") +
           Text("PROCESSOR_ARCHITECTURE", "AMD64");
}

const char *const Banner = ReleaseBanner();
const char Installed[] = "PXM INSTALLED 1";
const char Absent[] = "PXM INSTALLED 0";

} // namespace scenario
