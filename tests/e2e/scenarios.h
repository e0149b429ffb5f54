// End-to-end scenarios: a registry export, the Windows family it stands for,
// a command line, and what a caller must see. The expected values follow the
// tool's documented behaviour, not a recorded run.
//
// `registry` holds the keys as a 32-bit installer writes them, so on a 64-bit
// installation those below Software lie under Software\Wow6432Node; an NT
// scenario runs as a 32-bit and as a 64-bit installation unless its family
// names one.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "scenario_registry.h"

enum class Family { Windows98, WindowsNt, WindowsNt32, WindowsNt64, Unknown };

inline bool RunsAs32Bit(Family family)
{
    return family != Family::WindowsNt64;
}

inline bool RunsAs64Bit(Family family)
{
    return family == Family::WindowsNt || family == Family::WindowsNt64;
}

struct Scenario {
    const char *name;
    Family family;
    std::string registry; // sections of HKLM, without header or version keys
    std::vector<std::string> args;
    int exitCode;
    std::string output; // with "\n" line ends
    const char *atom;   // the atom left in the table, or nullptr
    std::string registry64 = ""; // 64-bit installation: keys a 64-bit program wrote
};

// Names the scenario in test output instead of dumping its bytes.
inline void PrintTo(const Scenario &s, std::ostream *os)
{
    *os << s.name;
}

// A test name made of the scenario's name.
inline std::string ScenarioName(const testing::TestParamInfo<Scenario> &info)
{
    std::string name;
    for (const char *c = info.param.name; *c != '\0'; ++c)
        name += (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') ? *c : '_';
    return name;
}

inline std::vector<Scenario> AllScenarios()
{
    using namespace scenario;
    const Family W98 = Family::Windows98, NT = Family::WindowsNt, NT32 = Family::WindowsNt32,
                 NT64 = Family::WindowsNt64;
    const std::string card98 = Card98(CardOne, "Net\\0000", Adapter, "HomeNet");
    return {
        // The command line.
        {"no argument", NT, card98, {}, 1, "", nullptr},
        {"empty argument", NT, card98, {""}, 1, "", nullptr},
        {"lower-case v", NT, card98, {"v"}, 1, "", nullptr},
        {"dash before the letter", NT, card98, {"-H"}, 1, "", nullptr},
        {"slash before the letter", NT, card98, {"/V"}, 1, "", nullptr},
        {"unknown letter with a second argument", NT, card98, {"X", "V"}, 1, "", nullptr},
        {"VV", NT, card98, {"VV"}, 4, "", nullptr},
        {"Hx", W98, card98, {"Hx"}, 4, "", nullptr},
        {"@1 adds no atom", W98, Companion("1.0"), {"@1"}, 4, "", nullptr},
        {"V with a second argument", NT, card98, {"V", "x"}, 4, "", nullptr},
        {"version banner", NT, "", {"V"}, 0, Banner, nullptr},
        {"version banner on 98", W98, "", {"V"}, 0, Banner, nullptr},

        // Windows 98: the enumeration entry leads to the class key.
        {"98 identifier 1, expected release", W98, card98, {"H"}, 0, "HomeNet", nullptr},
        {"98 identifier 1, other release", W98, Card98(CardOne, "Net\\0000", Adapter, "HomeNet", OlderMajor),
         {"H"}, 5, "HomeNet", nullptr},
        {"98 release values missing", W98, Card98(CardOne, "Net\\0000", Adapter, "HomeNet", NoVariant),
         {"H"}, 5, "HomeNet", nullptr},
        {"98 release in loose forms", W98, Card98(CardOne, "Net\\0000", Adapter, "HomeNet", Loose),
         {"H"}, 0, "HomeNet", nullptr},
        {"98 release past the int range", W98,
         Card98(CardOne, "Net\\0000", Adapter, "HomeNet", WrappedMajor), {"H"}, 5, "HomeNet", nullptr},
        {"98 identifier 2 only", W98, Card98(CardTwo, "Net\\0007", Adapter, "Office"), {"H"}, 0, "Office", nullptr},
        {"98 both identifiers: the first wins", W98,
         Card98(CardOne, "Net\\0000", Adapter, "First") + Card98(CardTwo, "Net\\0001", Adapter, "Second"), {"H"}, 0,
         "First", nullptr},
        {"98 identifier 1 another card, identifier 2 ours", W98,
         Card98(CardOne, "Net\\0000", "Other PC Card", "First") + Card98(CardTwo, "Net\\0001", Adapter, "Second"),
         {"H"}, 0, "Second", nullptr},
        {"98 description in capitals", W98, Card98(CardOne, "Net\\0000", "TESSARO/IEEE PC CARD", "HomeNet"), {"H"},
         2, "XXXXXX", nullptr},
        {"98 description with a trailing space", W98, Card98(CardOne, "Net\\0000", "Tessaro/IEEE PC Card ", "HomeNet"),
         {"H"}, 2, "XXXXXX", nullptr},
        {"98 description longer than its buffer", W98, Card98(CardOne, "Net\\0000", std::string(200, 'D').c_str(),
                                                              "HomeNet"),
         {"H"}, 2, "XXXXXX", nullptr},
        {"98 Driver too long for the path", W98, Card98(CardOne, std::string(88, 'k'), Adapter, "HomeNet"), {"H"}, 2,
         "XXXXXX", nullptr},
        {"98 Driver of 87 characters", W98, Card98(CardOne, std::string(87, 'k'), Adapter, "HomeNet"), {"H"}, 0,
         "HomeNet", nullptr},
        {"98 no DesiredSSID", W98, Card98(CardOne, "Net\\0000", Adapter, nullptr), {"H"}, 2, "XXXXXX", nullptr},
        {"98 empty network name", W98, Card98(CardOne, "Net\\0000", Adapter, ""), {"H"}, 0, "", nullptr},
        {"98 network name with percent signs", W98, Card98(CardOne, "Net\\0000", Adapter, "100%s%d"), {"H"}, 0,
         "100%s%d", nullptr},
        {"98 network name of 258 characters", W98, Card98(CardOne, "Net\\0000", Adapter, std::string(258, 'n').c_str()),
         {"H"}, 0, std::string(258, 'n'), nullptr},
        {"98 network name of 259 characters", W98, Card98(CardOne, "Net\\0000", Adapter, std::string(259, 'n').c_str()),
         {"H"}, 2, "XXXXXX", nullptr},
        {"98 nothing configured", W98, "", {"H"}, 2, "XXXXXX", nullptr},
        {"98 enumeration entry without Driver", W98,
         Section(std::string("Enum\\PCMCIA\\") + CardOne + "\\0") + Text("Other", "x"), {"H"}, 2, "XXXXXX", nullptr},
        {"98 ignores the NT service keys", W98, CardNt(1, Adapter, "NtNet"), {"H"}, 2, "XXXXXX", nullptr},
        // Windows Me keeps Drivers32 below an NT version key without its CurrentVersion value.
        {"Me with an empty NT version key", W98,
         Section("Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32") + Text("wave", "mmdrv.dll") + card98,
         {"H"}, 0, "HomeNet", nullptr},

        // NT: the service instances 1 to 9.
        {"NT instance 1", NT, CardNt(1, Adapter, "NtNet"), {"H"}, 0, "NtNet", nullptr},
        {"NT instance 3 after two missing", NT, CardNt(3, Adapter, "Third"), {"H"}, 0, "Third", nullptr},
        {"NT instance 9 after other cards", NT,
         CardNt(1, "Other PC Card", "One") + CardNt(5, "tessaro/ieee pc card", "Five") + CardNt(9, Adapter, "Nine"),
         {"H"}, 0, "Nine", nullptr},
        {"NT first match without SSID ends the search", NT, CardNt(1, Adapter, nullptr) + CardNt(2, Adapter, "Two"),
         {"H"}, 2, "XXXXXX", nullptr},
        {"NT other release", NT, CardNt(2, Adapter, "NtNet", NewerMinor), {"H"}, 5, "NtNet", nullptr},
        {"NT nothing configured", NT, "", {"H"}, 2, "XXXXXX", nullptr},
        {"NT nine other cards", NT, NineOtherCards(), {"H"}, 2, "XXXXXX", nullptr},
        {"NT ignores the 98 keys", NT, card98, {"H"}, 2, "XXXXXX", nullptr},

        // The companion probe.
        {"companion installed", NT, Companion("2.5"), {"@"}, 101, "", Installed},
        {"companion installed, empty version", W98, Companion(""), {"@"}, 101, "", Installed},
        {"companion key without version", NT, Companion(nullptr), {"@"}, 100, "", Absent},
        {"companion absent", W98, "", {"@"}, 100, "", Absent},
        {"companion version longer than its buffer", NT, Companion(std::string(128, 'v').c_str()), {"@"}, 100, "",
         Absent},

        // 64-bit Windows shows the 32-bit program Software\Wow6432Node as
        // Software; every NT scenario above runs so as well.
        {"64-bit companion only in the 64-bit view", NT64, "", {"@"}, 100, "", Absent, Companion("1")},
        {"64-bit companion key without version hides the 64-bit view's", NT64, Companion(nullptr), {"@"}, 100, "",
         Absent, Companion("1")},
        {"32-bit with a stray Wow6432Node", NT32, Companion("1", "Software\\Wow6432Node"), {"@"}, 100, "", Absent},
        {"64-bit version from the native view, not the 32-bit one", NT64,
         Section("Software\\Microsoft\\Windows\\CurrentVersion") + Text("VersionNumber", "4.10.2222") +
             CardNt(1, Adapter, "NtNet"),
         {"H"}, 0, "NtNet", nullptr},
    };
}
