// Dirty hives and logs Windows wrote (needs ../shared/real/dirty): replayed
// as Windows recovers them, by hivex's reading of keys and values.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "hive_replay_check.h"
#include "platform/posix/base/byte_order.h"
#include "process_run.h"

namespace {

bool Unpack(const std::string &dir, const std::string &name)
{
    std::string command = "xz -dc '" DOROVIVI_REAL_DIRTY "/" + name + ".xz' > '" + dir + "/" + name + "'";
    return std::system(command.c_str()) == 0;
}

TEST(HiveReplayReal, WindowsMadeLogsReplayAsWindowsRecovers)
{
    struct stat st;
    if (stat(DOROVIVI_REAL_DIRTY, &st) != 0) {
        const char *ci = std::getenv("CI");
        if (ci != nullptr && std::string(ci) == "true")
            FAIL() << DOROVIVI_REAL_DIRTY " is missing";
        GTEST_SKIP() << "needs the Windows-made dirty hives in " DOROVIVI_REAL_DIRTY;
    }
    struct Case {
        const char *hive;
        bool replayed;
        const char *applied;      // LOG1 and LOG2 are given; these were applied
        std::uint32_t binsSize;   // after the replay
        const char *sameAs;       // a hive as Windows recovered it, or one replayed above
    };
    const Case cases[] = {
        {"NewDirtyHive1", true, "LOG1 LOG2", 20480, "NewDirtyHive1.Recovered"},
        {"NewDirtyHive2", true, "LOG2", 20480, "NewDirtyHive1.Recovered"},
        {"OldDirtyHive", true, "LOG1", 487424, ""},
        {"BadBaseBlockHive", true, "LOG1", 487424, "OldDirtyHive"},
        {"BadLogHive1", false, "", 0, ""},
        {"BadLogHive2", false, "", 0, ""},
        {"BadLogHive3", false, "", 0, ""},
        {"SYSTEM_B", true, "LOG1 LOG2", 12591104, ""},
    };
    std::string dir = MakeTempDir("dorovivi-real-dirty");
    std::map<std::string, std::vector<std::string>> replayed;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.hive);
        const std::string hive = c.hive;
        ASSERT_TRUE(Unpack(dir, hive) && Unpack(dir, hive + ".LOG1") && Unpack(dir, hive + ".LOG2"));
        std::vector<std::pair<std::string, std::string>> logs;
        for (const char *log : {"LOG1", "LOG2"})
            logs.push_back({log, ReadFile(dir + "/" + hive + "." + log)});
        HiveReplay replay = Plan(ReadFile(dir + "/" + hive), logs);
        EXPECT_TRUE(replay.dirty);
        ASSERT_EQ(replay.replayed, c.replayed) << replay.reason;
        std::string applied;
        for (const std::string &name : replay.logsApplied)
            applied += (applied.empty() ? "" : " ") + name;
        EXPECT_EQ(applied, c.applied);
        if (!c.replayed) {
            EXPECT_NE(replay.reason, "");
            continue;
        }
        EXPECT_EQ(replay.reason, "");
        std::vector<std::string> dump;
        std::string bytes = Materialise(dir + "/" + hive, replay, dump);
        ASSERT_EQ(bytes.size(), 4096u + c.binsSize);
        EXPECT_EQ(ReadLe32(reinterpret_cast<const unsigned char *>(bytes.data()) + 40), c.binsSize);
        ASSERT_GT(dump.size(), 1u) << dump.front();
        replayed[hive] = dump;
        std::string same = c.sameAs;
        if (same.empty())
            continue;
        if (replayed.count(same) == 0) {
            ASSERT_TRUE(Unpack(dir, same));
            replayed[same] = DumpHive(dir + "/" + same);
        }
        EXPECT_TRUE(dump == replayed[same]) << "differs from " << same;
    }
    // The recovered hive is clean: its logs, stale now, are left alone.
    HiveReplay clean = Plan(ReadFile(dir + "/NewDirtyHive1.Recovered"),
                            {{"LOG1", ReadFile(dir + "/NewDirtyHive1.LOG1")}, {"LOG2", ReadFile(dir + "/NewDirtyHive1.LOG2")}});
    EXPECT_FALSE(clean.dirty);
    EXPECT_FALSE(clean.replayed);
    RemoveTree(dir);
}

} // namespace
