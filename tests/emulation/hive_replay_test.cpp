// Dirty hives replayed from their logs: fixture logs of each kind, damaged
// logs, and logs Windows wrote, each read back through hivex.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hive_log_writer.h"
#include "hive_replay_check.h"
#include "platform/posix/sources/regf/marvin32.h"
#include "process_run.h"
#include "regf_writer.h"

namespace {

std::string Joined(const std::vector<std::string> &names)
{
    std::string out;
    for (const std::string &name : names)
        out += (out.empty() ? "" : " ") + name;
    return out;
}

struct Hives {
    std::string dir, stale, target;
};

// A lacks what B adds: a key with values, one of them larger than a bin.
Hives StaleAndTarget()
{
    Hives hives;
    hives.dir = MakeTempDir("dorovivi-replay");
    RegistryFixture stale = {{"Select", {{"Current", REG_DWORD, std::string("\1\0\0\0", 4)}}}};
    RegistryFixture target = stale;
    target.push_back({"ControlSet001\\Services\\Added",
                      {{"Text", REG_SZ, std::string("new\0", 4)}, {"Big", REG_BINARY, std::string(9000, 'b')}}});
    EXPECT_TRUE(WriteRegfHive(stale, hives.dir + "/stale"));
    EXPECT_TRUE(WriteRegfHive(target, hives.dir + "/target"));
    hives.stale = ReadFile(hives.dir + "/stale");
    hives.target = ReadFile(hives.dir + "/target");
    return hives;
}

TEST(HiveReplay, EachLogKindReplaysToTheTargetHive)
{
    struct Case {
        const char *what;
        HiveLogKind kind;
        HiveLogDamage damage;
        const char *applied;
    };
    const Case cases[] = {
        {"old, single", HiveLogKind::OldSingle, HiveLogDamage::None, "SYSTEM.LOG"},
        {"old, dual: the newer log", HiveLogKind::OldDual, HiveLogDamage::None, "SYSTEM.LOG2"},
        {"new, entries over both", HiveLogKind::NewDual, HiveLogDamage::None, "SYSTEM.LOG1 SYSTEM.LOG2"},
        {"old, the log's block stands in", HiveLogKind::OldSingle, HiveLogDamage::BrokenPrimary, "SYSTEM.LOG"},
    };
    Hives hives = StaleAndTarget();
    const std::vector<std::string> expected = DumpHive(hives.dir + "/target");
    ASSERT_NE(expected, std::vector<std::string>{"unreadable"});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        HiveLogSet set;
        ASSERT_TRUE(WriteHiveLogs(hives.stale, hives.target, "SYSTEM", c.kind, c.damage, set));
        WriteFile(hives.dir + "/SYSTEM", set.primary);
        HiveReplay replay = Plan(set.primary, set.logs);
        EXPECT_TRUE(replay.dirty);
        ASSERT_TRUE(replay.replayed) << replay.reason;
        EXPECT_EQ(Joined(replay.logsApplied), c.applied);
        EXPECT_EQ(replay.reason, "");
        std::vector<std::string> dump;
        std::string bytes = Materialise(hives.dir + "/SYSTEM", replay, dump);
        ASSERT_EQ(bytes.size(), hives.target.size());
        EXPECT_TRUE(bytes.compare(4096, std::string::npos, hives.target, 4096, std::string::npos) == 0);
        EXPECT_EQ(dump, expected);
    }
    RemoveTree(hives.dir);
}

TEST(HiveReplay, DamagedLogsReplayNoFurtherThanTheDamage)
{
    struct Case {
        HiveLogKind kind;
        HiveLogDamage damage;
        bool replayed;
        const char *applied;
        const char *reason; // found in the reason; "" for none
    };
    using K = HiveLogKind;
    using D = HiveLogDamage;
    const Case cases[] = {
        {K::NewDual, D::BadHash, true, "SYSTEM.LOG1", "log entry 8 in SYSTEM.LOG1 fails its hash"},
        {K::NewDual, D::BadSignature, false, "", "the first log entry of SYSTEM.LOG1 is not signed HvLE"},
        {K::NewDual, D::SequenceGap, true, "SYSTEM.LOG1", "log entry 9 missing (SYSTEM.LOG2 goes on at 10)"},
        {K::NewDual, D::SizePastEnd, true, "SYSTEM.LOG1", "size past the log's end"},
        {K::NewDual, D::TruncatedLog, true, "SYSTEM.LOG1 SYSTEM.LOG2", "size past the log's end"},
        {K::NewDual, D::BadLogChecksum, true, "SYSTEM.LOG1", ""},
        {K::NewDual, D::BrokenPrimary, true, "SYSTEM.LOG2", ""},
        {K::OldSingle, D::BadDirtyVector, false, "", "SYSTEM.LOG: dirty vector not signed DIRT"},
        {K::OldSingle, D::TruncatedLog, false, "", "dirty sectors past the log's end"},
        {K::OldSingle, D::BadLogChecksum, false, "", "no valid log (SYSTEM.LOG: base block fails its checksum)"},
        {K::OldDual, D::BadDirtyVector, false, "", "SYSTEM.LOG2: dirty vector not signed DIRT"},
    };
    Hives hives = StaleAndTarget();
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.kind)) + "/" + std::to_string(static_cast<int>(c.damage)));
        HiveLogSet set;
        ASSERT_TRUE(WriteHiveLogs(hives.stale, hives.target, "SYSTEM", c.kind, c.damage, set));
        HiveReplay replay = Plan(set.primary, set.logs);
        EXPECT_TRUE(replay.dirty);
        EXPECT_EQ(replay.replayed, c.replayed);
        EXPECT_EQ(Joined(replay.logsApplied), c.applied);
        EXPECT_NE(replay.reason.find(c.reason), std::string::npos) << replay.reason;
        EXPECT_EQ(replay.reason.empty(), c.reason[0] == '\0') << replay.reason;
        EXPECT_EQ(replay.pages.empty(), !c.replayed);
    }
    RemoveTree(hives.dir);
}

TEST(HiveReplay, CleanPrimaryIgnoresNewerLogs)
{
    Hives hives = StaleAndTarget();
    HiveLogSet set;
    ASSERT_TRUE(WriteHiveLogs(hives.stale, hives.target, "SYSTEM", HiveLogKind::NewDual, HiveLogDamage::None, set));
    HiveReplay replay = Plan(SealedHive(hives.stale, kHiveLogFirstSequence - 1), set.logs);
    EXPECT_FALSE(replay.dirty);
    EXPECT_FALSE(replay.replayed);
    EXPECT_TRUE(replay.logsApplied.empty());
    EXPECT_TRUE(replay.pages.empty());
    RemoveTree(hives.dir);
}

// Known answers from .NET's MarvinTests.cs (dotnet/runtime,
// src/libraries/Common/tests/Tests/System/MarvinTests.cs, the 64-bit
// ComputeHash table): seed, input in hex, hash with the second lane high.
TEST(HiveReplay, Marvin32GivesPublishedAnswers)
{
    const std::uint64_t seed1 = 0x004FB61A001BDBCCull, seed2 = 0x804FB61A001BDBCCull, seed3 = 0x804FB61A801BDBCCull;
    const struct {
        std::uint64_t seed;
        const char *hex;
        std::uint64_t hash;
    } cases[] = {
        {seed1, "", 0x30ED35C100CD3C7Dull},
        {seed1, "af", 0x48E73FC77D75DDC1ull},
        {seed1, "e70f", 0xB5F6E1FC485DBFF8ull},
        {seed1, "37f495", 0xF0B07C789B8CF7E8ull},
        {seed1, "8642dc59", 0x7008F2E87E9CF556ull},
        {seed1, "153fb79826", 0xE6C08C6DA2AFA997ull},
        {seed1, "0932e6246c47", 0x6F04BF1A5EA24060ull},
        {seed1, "ab427ea8d10fc7", 0xE11847E4F0678C41ull},
        {seed2, "", 0x10A9D5D3996FD65Dull},
        {seed2, "af", 0x68201F91960EBF91ull},
        {seed2, "e70f", 0x64B581631F6AB378ull},
        {seed2, "37f495", 0xE1F2DFA6E5131408ull},
        {seed2, "8642dc59", 0x36289D9654FB49F6ull},
        {seed2, "153fb79826", 0x0A06114B13464DBDull},
        {seed2, "0932e6246c47", 0xD6DD5E40AD1BC2EDull},
        {seed2, "ab427ea8d10fc7", 0xE203987DBA252FB3ull},
        {seed3, "00", 0xA37FB0DA2ECAE06Cull},
        {seed3, "FF", 0xFECEF370701AE054ull},
        {seed3, "00FF", 0xA638E75700048880ull},
        {seed3, "FF00", 0xBDFB46D969730E2Aull},
        {seed3, "FF00FF", 0x9D8577C0FE0D30BFull},
        {seed3, "00FF00", 0x4F9FBDDE15099497ull},
        {seed3, "00FF00FF", 0x24EAA279D9A529CAull},
        {seed3, "FF00FF00", 0xD3BEC7726B057943ull},
        {seed3, "FF00FF00FF", 0x920B62BBCA3E0B72ull},
        {seed3, "00FF00FF00", 0x1D7DDF9DFDF3C1BFull},
        {seed3, "00FF00FF00FF", 0xEC21276A17E821A5ull},
        {seed3, "FF00FF00FF00", 0x6911A53CA8C12254ull},
        {seed3, "FF00FF00FF00FF", 0xFDFD187B1D3CE784ull},
        {seed3, "00FF00FF00FF00", 0x71876F2EFB1B0EE8ull},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.hex);
        unsigned char bytes[8] = {};
        const std::size_t size = std::string(c.hex).size() / 2;
        ASSERT_LE(size, sizeof bytes);
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<unsigned char>(std::stoul(std::string(c.hex + 2 * i, 2), nullptr, 16));
        EXPECT_EQ(Marvin32(bytes, size, c.seed), c.hash) << std::hex << c.seed;
    }
}

} // namespace
