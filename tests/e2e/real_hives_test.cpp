// The shipped binary over registry files Windows wrote, whole, cut, or in
// the wrong place.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image_run.h"
#include "process_run.h"
#include "real_files.h"

namespace {

// "major.minor.build" of the trace's version event, "none" when it failed.
std::string TracedVersion(const std::string &trace)
{
    std::size_t at = trace.find("{\"event\":\"version\"");
    std::string event = at == std::string::npos ? "" : trace.substr(at, trace.find('\n', at) - at);
    if (event.empty() || event.find("\"failed\"") != std::string::npos)
        return "none";
    std::string version;
    for (const char *field : {"\"major\":", "\"minor\":", "\"build\":"}) {
        std::size_t from = event.find(field) + std::strlen(field);
        version += (version.empty() ? "" : ".") + event.substr(from, event.find_first_of(",}", from) - from);
    }
    return version;
}

// Registry files Windows wrote (needs ../shared/real), put on an NT drive as
// they are, cut or declared longer: real SYSTEM hives of XP and 10 pass as
// SYSTEM, each fault gets its line.
TEST(RealHives, EachFaultNamedAndRealHivesPass)
{
    NEEDS_REAL(RealFilesHere(DOROVIVI_REAL), "the genuine registry files in " DOROVIVI_REAL);
    struct Case {
        const char *what;
        const char *system, *software; // below DOROVIVI_REAL, without .xz; no SOFTWARE: nullptr
        std::vector<const char *> logs; // beside SYSTEM, named after it; "dirty/NAME.LOG2": another hive's
        std::uint64_t cutTo;            // SYSTEM cut to this size; 0: whole
        std::vector<const char *> lines; // after "<SYSTEM or SOFTWARE>: ", in order
        bool longer = false; // SYSTEM declares bins up to its end, zeros past its last bin
        const char *answer = "XXXXXX"; // H's, from SYSTEM
        // From SOFTWARE, as the trace gives it; "none": failed. An NT drive whose
        // SOFTWARE records none is of the NT family, 0.0.0.
        const char *version = "5.2.3790";
        const char *windir = nullptr; // DOROVIVI_WINDIR
        const char *twin = nullptr; // put beside SYSTEM as "system"
    };
    const char *xpSystem = "genuine/xp_system", *xpSoftware = "genuine/xp_software";
    const Case cases[] = {
        {"XP's SYSTEM and SOFTWARE", xpSystem, xpSoftware, {}, 0, {}},
        {"XP's setup copy of SYSTEM", "genuine/xp_system_sav", xpSoftware, {}, 0, {}},
        {"Windows 10's dirty SYSTEM and its logs", "dirty/SYSTEM_B", xpSoftware, {"LOG1", "LOG2"}, 0,
         {"SYSTEM: dirty hive; replayed SYSTEM.LOG1, SYSTEM.LOG2"}},
        {"SOFTWARE as SYSTEM", xpSoftware, xpSoftware, {}, 0,
         {"SYSTEM: not a SYSTEM hive: its root key $$$PROTO.HIV holds no Select and no ControlSet key, but ADFS, "
          "Classes, Clients, Microsoft, Policies, Program Groups and 2 more; read as an empty hive"}},
        {"SYSTEM as SOFTWARE", xpSystem, xpSystem, {}, 0,
         {"SOFTWARE: not a SOFTWARE hive: its root key $$$PROTO.HIV holds no Microsoft key, but ControlSet001, "
          "ControlSet002, LastKnownGoodRecovery, MountedDevices, Select, Setup and 1 more; read as an empty hive"},
         false, "XXXXXX", "0.0.0"},
        {"its last page cut off", xpSystem, xpSoftware, {}, 2379776,
         {"SYSTEM: cut short: 2379776 bytes, where its base block declares 2383872 (2379776 of hive bins); keys past "
          "the end read as missing"}},
        {"12 KB of a dirty hive of 476 KB", "dirty/OldDirtyHive", xpSoftware, {}, 12288,
         {"SYSTEM: dirty hive, not replayed (no transaction log beside it); cut short: 12288 bytes, where its base block "
          "declares 491520 (487424 of hive bins); not a SYSTEM hive: its root key "
          "{6214ff27-7b1b-41a3-9ae4-5fb851ffed63} holds no Select and no ControlSet key, but key_with_many_subkeys; read "
          "as an empty hive"}},
        // Cells are checked where a lookup reaches them: zeros no lookup reaches go unseen.
        {"zeros inside its declared bins, never reached", xpSystem, xpSoftware, {}, 0, {}, true},
        {"a SYSTEM whose bins break, SOFTWARE still read", "dirty/corrupted_system_hive", xpSoftware, {}, 0,
         {"SYSTEM: damaged hive (no sound hive bin holds the cell at hive bin offset 0x130140 (file offset 0x131140)); "
          "keys in the damaged part read as missing"}},
        {"a damaged SYSTEM as SOFTWARE, SYSTEM still read", "genuine/xp_card_system", "dirty/corrupted_system_hive", {},
         0,
         {"SOFTWARE: not a SOFTWARE hive: its root key $$$PROTO.HIV holds no Microsoft key, but ControlSet001, "
          "ControlSet003, LastKnownGoodRecovery, MountedDevices, Select, Setup and 1 more; read as an empty hive"},
         false, "RealXP", "0.0.0"},
        // A triage copy: SYSTEM answers alone, named or not, with one line.
        {"XP's SYSTEM alone", "genuine/xp_card_system", nullptr, {}, 0, {"SOFTWARE: missing; read as an empty hive"},
         false, "RealXP", "0.0.0"},
        {"XP's SYSTEM alone, named", "genuine/xp_card_system", nullptr, {}, 0,
         {"SOFTWARE: missing; read as an empty hive"}, false, "RealXP", "0.0.0", "WINDOWS"},
        {"Windows 10's dirty SYSTEM without its logs", "dirty/SYSTEM_WIN_10_1709", xpSoftware, {}, 0,
         {"SYSTEM: dirty hive, not replayed (no transaction log beside it); read as it stands"}},
        {"an NTUSER.DAT and its logs as SYSTEM", "dirty/transactions_NTUSER", xpSoftware, {"LOG1", "LOG2"}, 0,
         {"SYSTEM: dirty hive; replayed SYSTEM.LOG1; not a SYSTEM hive: its root key ROOT holds no Select and no "
          "ControlSet key, but AppEvents, Console, Control Panel, Environment, EUDC, Keyboard Layout and 3 more; read "
          "as an empty hive"}},
        {"a UsrClass.dat and its logs as SYSTEM", "dirty/UsrClass", xpSoftware, {"LOG1", "LOG2"}, 0,
         {"SYSTEM: dirty hive; replayed SYSTEM.LOG1, SYSTEM.LOG2; not a SYSTEM hive: its root key "
          "S-1-5-21-2734969515-1644526556-1039763013-1001_Classes holds no Select and no ControlSet key, but *, .3g2, "
          ".3gp, .3gp2, .3gpp, .3mf and 373 more; read as an empty hive"}},
        {"a dirty Amcache.hve and its logs as SYSTEM", "dirty/Amcache_Win10_APT", xpSoftware, {"LOG1", "LOG2"}, 0,
         {"SYSTEM: dirty hive; replayed SYSTEM.LOG1, SYSTEM.LOG2; not a SYSTEM hive: its root key "
          "{11517B7C-E79D-4e20-961B-75A811715ADD} holds no Select and no ControlSet key, but Root; read as an empty "
          "hive"}},
        {"a clean Amcache.hve beside stale logs as SYSTEM", "dirty/Amcache_Win2012R2", xpSoftware, {"LOG1", "LOG2"}, 0,
         {"SYSTEM: not a SYSTEM hive: its root key {11517B7C-E79D-4e20-961B-75A811715ADD} holds no Select and no "
          "ControlSet key, but Root; read as an empty hive"}},
        {"a key name with a NUL in it", "genuine/hivex_special", xpSoftware, {}, 0,
         {"SYSTEM: not a SYSTEM hive: its root key $$$PROTO.HIV holds no Select and no ControlSet key, but "
          "abcd_\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F, weird\xE2\x84\xA2, zero\\u0000key; read as an empty hive"}},
        {"another hive's log replayed into a dirty hive", "dirty/OldDirtyHive", xpSoftware,
         {"dirty/transactions_NTUSER.LOG1", "dirty/transactions_NTUSER.LOG2"}, 0,
         {"SYSTEM: dirty hive, not replayed: its log SYSTEM.LOG2 does not fit it (replayed, the cell at hive bin "
          "offset 0x10420 (file offset 0x11420) gives an impossible size); not a SYSTEM hive: its root "
          "key {6214ff27-7b1b-41a3-9ae4-5fb851ffed63} holds no Select and no ControlSet key, but "
          "key_with_many_subkeys; read as an empty hive"}},
        {"SYSTEM beside system, a hive of a machine with the card", xpSystem, xpSoftware, {}, 0,
         {"SYSTEM: read, not system beside it (the same name in another case)"}, false, "XXXXXX", "5.2.3790", nullptr,
         "genuine/xp_card_system"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string drive = MakeTempDir("dorovivi-real");
        std::string config = drive + "/WINDOWS/system32/config/";
        ASSERT_EQ(std::system(("mkdir -p '" + config + "'").c_str()), 0);
        auto unpack = [](const std::string &from, const std::string &to) {
            return std::system(("xz -dc '" DOROVIVI_REAL "/" + from + ".xz' > '" + to + "'").c_str()) == 0;
        };
        ASSERT_TRUE(unpack(c.system, config + "SYSTEM") &&
                    (c.software == nullptr || unpack(c.software, config + "SOFTWARE")));
        ASSERT_TRUE(c.twin == nullptr || unpack(c.twin, config + "system"));
        for (std::string log : c.logs) {
            std::string from = log.find('/') == std::string::npos ? std::string(c.system) + "." + log : log;
            ASSERT_TRUE(unpack(from, config + "SYSTEM." + log.substr(log.rfind('.') + 1)));
        }
        if (c.cutTo != 0)
            CutAt(config + "SYSTEM", c.cutTo);
        if (c.longer) {
            std::string hive = ReadFile(config + "SYSTEM");
            hive.replace(0x28, 4, LeBytes(hive.size() - 4096, 4));
            std::uint32_t sum = 0;
            for (std::size_t at = 0; at < 0x1FC; at += 4)
                sum ^= static_cast<std::uint32_t>(Le(hive, at, 4));
            hive.replace(0x1FC, 4, LeBytes(sum, 4));
            WriteFile(config + "SYSTEM", hive);
        }
        std::string trace = MakeTempDir("dorovivi-real-trace") + "/trace";
        std::vector<std::string> env = {"DOROVIVI_TRACE=" + trace};
        if (c.windir != nullptr)
            env.push_back(std::string("DOROVIVI_WINDIR=") + c.windir);
        ImageRun run = RunOverImage(drive, drive, {"H"}, env);
        EXPECT_EQ(run.result.exitCode, std::string(c.answer) == "XXXXXX" ? 2 : 0);
        EXPECT_EQ(run.result.output, c.answer);
        EXPECT_EQ(TracedVersion(ReadFile(trace)), c.version);
        RemoveTree(trace.substr(0, trace.rfind('/')));
        std::string expected;
        for (const char *line : c.lines)
            expected += "dorovivi: " + config + line + "\n";
        EXPECT_EQ(run.errors, expected);
        RemoveTree(drive);
    }
}

} // namespace
