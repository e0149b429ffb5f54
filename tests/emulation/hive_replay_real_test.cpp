// Dirty hives and logs Windows wrote (needs ../shared/real/dirty): replayed
// as Windows recovers them, by hivex's reading of keys and values.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "hive_log_format.h"
#include "hive_replay_check.h"
#include "regf_bins_scan.h"
#include "platform/posix/base/byte_order.h"
#include "platform/posix/sources/regf/regf_hive_check.h"
#include "process_run.h"
#include "real_files.h"

namespace {

// How many keys `dump` holds that `other` does not. A value's line has three
// '|' at least; Amcache's key names hold one.
std::size_t KeysOnlyIn(const std::vector<std::string> &dump, const std::vector<std::string> &other)
{
    std::size_t count = 0;
    for (const std::string &line : dump)
        count += std::count(line.begin(), line.end(), '|') < 3 && !std::binary_search(other.begin(), other.end(), line);
    return count;
}

bool Present(const std::string &name)
{
    struct stat st;
    return stat((DOROVIVI_REAL_DIRTY "/" + name + ".xz").c_str(), &st) == 0;
}

bool Unpack(const std::string &dir, const std::string &name)
{
    std::string command = "xz -dc '" DOROVIVI_REAL_DIRTY "/" + name + ".xz' > '" + dir + "/" + name + "'";
    return std::system(command.c_str()) == 0;
}

#define SKIP_WITHOUT_REAL_DIRTY()                                                                                     \
    NEEDS_REAL(RealFilesHere(DOROVIVI_REAL_DIRTY), "the Windows-made dirty hives in " DOROVIVI_REAL_DIRTY)

// The test writer's own checksum and entry hash give what Windows stored, so
// the logs it writes are a fair test of the program's reading.
TEST(HiveReplayReal, TestWriterSumsAgreeWithWindowsMadeFiles)
{
    SKIP_WITHOUT_REAL_DIRTY();
    struct Case {
        const char *file;
        bool sumRight;    // the base block's stored checksum
        unsigned entries; // new-format entries, each with both hashes right
    };
    const Case cases[] = {
        {"NewDirtyHive1", true, 0},      {"NewDirtyHive1.LOG1", true, 1}, {"NewDirtyHive1.LOG2", true, 3},
        {"SYSTEM_B.LOG1", true, 4},      {"SYSTEM_B.LOG2", true, 20},     {"OldDirtyHive.LOG1", true, 0},
        {"BadBaseBlockHive", false, 0},
    };
    std::string dir = MakeTempDir("dorovivi-real-sums");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(Unpack(dir, c.file));
        const std::string bytes = ReadFile(dir + "/" + c.file);
        ASSERT_GE(bytes.size(), kHiveSector);
        const unsigned char *data = reinterpret_cast<const unsigned char *>(bytes.data());
        EXPECT_EQ(LittleEndian32(data + kHiveSumAt) == HiveBlockSum(data), c.sumRight);
        unsigned entries = 0;
        for (std::size_t at = kLogFirstEntryAt; LittleEndian32(data + kHiveTypeAt) == kHiveTypeNewLog &&
                                                at + kEntryHeaderSize <= bytes.size() &&
                                                bytes.compare(at, 4, "HvLE") == 0;) {
            const std::uint32_t size = LittleEndian32(data + at + kEntrySizeAt);
            if (size < kEntryHeaderSize || size > bytes.size() - at ||
                LittleEndian32(data + at + kEntrySequenceAt) == 0)
                break;
            const std::uint64_t body = LogEntryHash(data + at + kEntryHeaderSize, size - kEntryHeaderSize);
            const std::uint64_t head = LogEntryHash(data + at, kEntryHeadHashAt);
            if (LittleEndian32(data + at + kEntryBodyHashAt) != static_cast<std::uint32_t>(body) ||
                LittleEndian32(data + at + kEntryBodyHashAt + 4) != static_cast<std::uint32_t>(body >> 32) ||
                LittleEndian32(data + at + kEntryHeadHashAt) != static_cast<std::uint32_t>(head) ||
                LittleEndian32(data + at + kEntryHeadHashAt + 4) != static_cast<std::uint32_t>(head >> 32))
                break;
            ++entries;
            at += size;
        }
        EXPECT_EQ(entries, c.entries);
    }
    RemoveTree(dir);
}

TEST(HiveReplayReal, WindowsMadeLogsReplayAsWindowsRecovers)
{
    SKIP_WITHOUT_REAL_DIRTY();
    struct Case {
        const char *hive;
        bool replayed;
        const char *applied;      // its LOG1 and LOG2 are given where there are any; these were applied
        std::uint32_t binsSize;   // after the replay
        const char *sameAs;       // a hive as Windows recovered it, or one replayed above
        int newKeys = -1;         // keys the replay adds to the primary's; -1: not counted
        const char *logsOf = "";  // the logs given are this hive's, not its own
        const char *fault = "";   // what the checks before hivex find in the replayed hive
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
        {"transactions_NTUSER", true, "LOG1", 925696, "", 521},
        {"UsrClass", true, "LOG1 LOG2", 2830336, "", 33},
        {"Amcache_Win10_APT", true, "LOG1 LOG2", 987136, "", 1},
        {"SYSTEM_WIN_10_1709", false, "", 0, ""},
        // Another hive's log: replayed as far as it goes, into a hive whose cells break.
        {"OldDirtyHive", true, "LOG2", 761856, "", -1, "transactions_NTUSER",
         "the cell at hive bin offset 0xd650 (file offset 0xe650), of 55344 bytes, runs past its hive bin"},
    };
    std::string dir = MakeTempDir("dorovivi-real-dirty");
    std::map<std::string, std::vector<std::string>> replayed;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.hive);
        const std::string hive = c.hive;
        const std::string logsOf = *c.logsOf != '\0' ? c.logsOf : hive;
        ASSERT_TRUE(Unpack(dir, hive));
        std::vector<std::pair<std::string, std::string>> logs;
        for (const char *log : {"LOG1", "LOG2"}) {
            if (!Present(logsOf + "." + log))
                continue;
            ASSERT_TRUE(Unpack(dir, logsOf + "." + log));
            logs.push_back({log, ReadFile(dir + "/" + logsOf + "." + log)});
        }
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
        EXPECT_EQ(replay.reason == "", *c.logsOf == '\0') << replay.reason;
        std::vector<std::string> dump;
        std::string bytes = Materialise(dir + "/" + hive, replay, dump);
        ASSERT_EQ(bytes.size(), 4096u + c.binsSize);
        EXPECT_EQ(ReadLe32(reinterpret_cast<const unsigned char *>(bytes.data()) + 40), c.binsSize);
        bool pastEnd = false;
        EXPECT_EQ(RegfHiveBinsFault(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), pastEnd),
                  c.fault);
        if (*c.fault != '\0')
            continue;
        ASSERT_GT(dump.size(), 1u) << dump.front();
        if (c.newKeys >= 0) {
            EXPECT_EQ(KeysOnlyIn(dump, DumpHive(dir + "/" + hive)), static_cast<std::size_t>(c.newKeys));
        }
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
    // Clean hives: their logs, stale, are left alone; a hive whose bins break is no dirty one.
    const std::pair<const char *, const char *> cleanHives[] = {
        {"NewDirtyHive1.Recovered", "NewDirtyHive1"}, {"Amcache_Win2012R2", "Amcache_Win2012R2"},
        {"corrupted_system_hive", ""}};
    for (const auto &hive : cleanHives) {
        SCOPED_TRACE(hive.first);
        std::string logsOf = hive.second;
        ASSERT_TRUE(Unpack(dir, hive.first));
        if (!logsOf.empty()) {
            ASSERT_TRUE(Unpack(dir, logsOf + ".LOG1") && Unpack(dir, logsOf + ".LOG2"));
        }
        HiveReplay clean = Plan(ReadFile(dir + "/" + hive.first),
                                logsOf.empty() ? std::vector<std::pair<std::string, std::string>>()
                                               : std::vector<std::pair<std::string, std::string>>{
                                                     {"LOG1", ReadFile(dir + "/" + logsOf + ".LOG1")},
                                                     {"LOG2", ReadFile(dir + "/" + logsOf + ".LOG2")}});
        EXPECT_FALSE(clean.dirty);
        EXPECT_FALSE(clean.replayed);
    }
    RemoveTree(dir);
}

} // namespace
