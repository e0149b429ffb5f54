// Dirty hives replayed from their logs: fixture logs of each kind, damaged
// logs, and logs Windows wrote, each read back through hivex.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hive_log_writer.h"
#include "hive_replay_check.h"
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

} // namespace
