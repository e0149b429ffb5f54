// The cell reader against hivex (and libregf for class names, which hivex
// does not give): every key and value of Windows-made hives (needs
// ../shared/real) and of written ones, and case-insensitive lookups of them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/sources/regf/regf_base_block.h"
#include "platform/posix/sources/regf/regf_big_data.h"
#include "hive_replay_check.h"
#include "process_run.h"
#include "real_files.h"
#include "regf_reader_dump.h"
#include "regf_reference_dump.h"
#include "regf_writer.h"

namespace {

struct Totals {
    std::size_t keys = 0, values = 0, lookups = 0, bigData = 0;
};

// Walks the hive in `bytes` with the cell reader, expecting `fault`, and
// compares all it read with what the reference readers read in `reference`.
void Compare(const HiveBytes &bytes, const std::string &reference, RegfFaultKind fault, Totals &totals)
{
    SCOPED_TRACE(reference);
    RegfReader hive;
    Dump mine, theirs;
    std::size_t bigData = 0;
    ReaderDump(bytes, hive, mine, bigData);
    EXPECT_EQ(RegfFaultName(hive.fault.kind), std::string(RegfFaultName(fault))) << "at bins offset " << hive.fault.offset;
    if (!ReferenceDump(reference, theirs)) {
        EXPECT_NE(fault, RegfFaultKind::None) << "hivex refuses it";
        return;
    }
    if (fault != RegfFaultKind::None)
        theirs.lines.resize(std::min(theirs.lines.size(), mine.lines.size())); // read up to the fault
    for (std::size_t i = 0; i < mine.lines.size() && i < theirs.lines.size(); ++i)
        if (mine.lines[i] != theirs.lines[i]) {
            ADD_FAILURE() << "line " << i << "\n reader: " << mine.lines[i].substr(0, 300) << "\n  hivex: "
                          << theirs.lines[i].substr(0, 300);
            break;
        }
    EXPECT_EQ(mine.lines.size(), theirs.lines.size());
    totals.keys += mine.keys;
    totals.values += mine.values;
    totals.bigData += bigData;
    for (const std::string &line : mine.lines)
        totals.lookups += line[0] == 'L' || line[0] == 'W';
}

// The file at `path` read through its descriptor; hivex reads `reference` (by default the same file).
void CompareFile(const std::string &path, RegfFaultKind fault, Totals &totals, std::string reference = "")
{
    Fault unopened;
    std::unique_ptr<FileBytes> bytes = OpenHostFileBytes(path, unopened);
    ASSERT_NE(bytes, nullptr) << FaultText(unopened);
    Compare(*bytes, reference.empty() ? path : reference, fault, totals);
}

void WriteFile(const std::string &path, const std::string &bytes)
{
    std::FILE *out = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(out != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size());
    std::fclose(out);
}

// False, failing under CI=true, where the Windows-made hives are absent.
bool HaveRealHives()
{
    if (RealFilesHere(DOROVIVI_REAL_DIRTY) && RealFilesHere(DOROVIVI_REAL_GENUINE))
        return true;
    if (UnderCi())
        ADD_FAILURE() << DOROVIVI_REAL_DIRTY " is missing";
    return false;
}

bool Unpack(const std::string &from, const std::string &dir, const std::string &name)
{
    return std::system(("xz -dc '" + from + "/" + name + ".xz' > '" + dir + "/" + name + "'").c_str()) == 0;
}

TEST(RegfCellReader, ReadsWindowsHivesAsHivexDoes)
{
    if (!HaveRealHives())
        GTEST_SKIP() << "needs the Windows-made hives in " DOROVIVI_REAL_GENUINE " and " DOROVIVI_REAL_DIRTY;
    struct Case {
        const char *from, *hive;
        RegfFaultKind fault;
        bool reseal = false; // its checksum is wrong: hivex reads a resealed copy
    };
    const RegfFaultKind none = RegfFaultKind::None;
    const Case cases[] = {
        {DOROVIVI_REAL_GENUINE, "xp_system", none},         {DOROVIVI_REAL_GENUINE, "xp_card_system", none},
        {DOROVIVI_REAL_GENUINE, "xp_software", none},       {DOROVIVI_REAL_GENUINE, "xp_system_sav", none},
        {DOROVIVI_REAL_GENUINE, "hivex_special", none},     {DOROVIVI_REAL_DIRTY, "Amcache_Win10_APT", none},
        {DOROVIVI_REAL_DIRTY, "Amcache_Win2012R2", none},   {DOROVIVI_REAL_DIRTY, "BadBaseBlockHive", none, true},
        {DOROVIVI_REAL_DIRTY, "BadLogHive1", none},         {DOROVIVI_REAL_DIRTY, "BadLogHive2", none},
        {DOROVIVI_REAL_DIRTY, "BadLogHive3", none},         {DOROVIVI_REAL_DIRTY, "NewDirtyHive1", none},
        {DOROVIVI_REAL_DIRTY, "NewDirtyHive2", none},       {DOROVIVI_REAL_DIRTY, "NewDirtyHive1.Recovered", none},
        {DOROVIVI_REAL_DIRTY, "OldDirtyHive", none},        {DOROVIVI_REAL_DIRTY, "SYSTEM_B", none},
        {DOROVIVI_REAL_DIRTY, "SYSTEM_WIN_10_1709", none},  {DOROVIVI_REAL_DIRTY, "UsrClass", none},
        {DOROVIVI_REAL_DIRTY, "corrupted_system_hive", RegfFaultKind::NoHiveBin}, {DOROVIVI_REAL_DIRTY, "transactions_NTUSER", none},
    };
    std::string dir = MakeTempDir("dorovivi-cell-reader");
    Totals totals;
    for (const Case &c : cases) {
        ASSERT_TRUE(Unpack(c.from, dir, c.hive)) << c.hive;
        std::string path = dir + "/" + c.hive, bytes = c.reseal ? ReadFile(path) : "";
        if (c.reseal) { // hivex refuses a wrong checksum
            WriteLe32(reinterpret_cast<unsigned char *>(&bytes[0]) + kRegfChecksumAt,
                      RegfBaseBlockChecksum(reinterpret_cast<unsigned char *>(&bytes[0])));
            WriteFile(path + ".resealed", bytes);
        }
        CompareFile(path, c.fault, totals, c.reseal ? path + ".resealed" : "");
    }
    RemoveTree(dir);
    std::printf("compared %zu keys, %zu values (%zu in big data), %zu lookups\n", totals.keys, totals.values,
                totals.bigData, totals.lookups);
    EXPECT_GT(totals.bigData, 0u);
    EXPECT_GT(totals.values, 100000u);
}

TEST(RegfCellReader, ReadsWrittenHivesAsHivexDoes)
{
    RegistryFixture fixture = {
        {"K\xc3\xa4se\\\xd0\x9a\xd0\xbb\xd1\x8e\xd1\x87", // Latin-1 and Cyrillic names
         {{"", REG_SZ, "default"}, {"N\xc3\xa4me", REG_SZ, "wert"}, {"\xd0\x98\xd0\xbc\xd1\x8f", REG_SZ, "x"},
          {"Four", REG_DWORD, std::string("\x01\x02\x03\x04", 4)}, {"Three", REG_BINARY, "abc"},
          {"Empty", REG_BINARY, ""}, {"Big", REG_BINARY, std::string(20000, 'Z')}}},
    };
    for (const char *name : {"Sub_", "Suba", "Sub^", "SubZ", "Sub[", "Sub`"}) // between the cases: sort order
        fixture.push_back({std::string("Order\\") + name, {}});
    for (int i = 0; i < 300; ++i)
        fixture.push_back({"Wide\\Sub" + std::to_string(i * 7919 % 1000), {{"v", REG_DWORD, std::string(4, char(i))}}});
    std::string dir = MakeTempDir("dorovivi-cell-reader");
    ASSERT_TRUE(WriteRegfHive(fixture, dir + "/written"));
    Totals totals;
    CompareFile(dir + "/written", RegfFaultKind::None, totals);
    RemoveTree(dir);
    EXPECT_EQ(totals.keys, 311u);
    EXPECT_EQ(totals.values, 307u);
    // The fuzzer's seeds, one a value of 16345 bytes in two big data segments.
    for (const char *seed : {"adapter.hive", "empty.hive", "bigdata.hive"})
        CompareFile(std::string(DOROVIVI_REGF_SEEDS "/") + seed, RegfFaultKind::None, totals);
    EXPECT_EQ(totals.bigData, 1u);
}

TEST(RegfCellReader, ReadsReplayedHivesThroughTheirOverlay)
{
    if (!HaveRealHives())
        GTEST_SKIP() << "needs the Windows-made dirty hives in " DOROVIVI_REAL_DIRTY;
    std::string dir = MakeTempDir("dorovivi-cell-reader");
    Totals totals;
    // Every Windows-made hive with logs beside it; the ones whose logs do not
    // replay (stale, or damaged on purpose) have nothing to compare.
    std::size_t replayed = 0;
    for (const std::string hive : {"NewDirtyHive1", "NewDirtyHive2", "SYSTEM_B", "OldDirtyHive", "BadLogHive1",
                                   "BadLogHive2", "BadLogHive3", "BadBaseBlockHive", "Amcache_Win10_APT",
                                   "Amcache_Win2012R2", "UsrClass", "transactions_NTUSER"}) {
        SCOPED_TRACE(hive);
        std::vector<std::pair<std::string, std::string>> logs;
        for (const char *log : {".LOG1", ".LOG2"}) {
            ASSERT_TRUE(Unpack(DOROVIVI_REAL_DIRTY, dir, hive + log));
            logs.push_back({log + 1, ReadFile(dir + "/" + hive + log)});
        }
        ASSERT_TRUE(Unpack(DOROVIVI_REAL_DIRTY, dir, hive));
        std::string primary = dir + "/" + hive;
        HiveReplay replay = Plan(ReadFile(primary), logs);
        if (!replay.replayed)
            continue;
        ++replayed;
        std::vector<std::string> dump;
        WriteFile(primary + ".replayed", Materialise(primary, replay, dump)); // hivex reads the replay as a file
        Fault unopened;
        std::unique_ptr<FileBytes> bytes = OpenHostFileBytes(primary, unopened);
        ASSERT_NE(bytes, nullptr) << FaultText(unopened);
        OverlayHiveBytes overlay(*bytes, bytes->Size(), replay);
        Compare(overlay, primary + ".replayed", RegfFaultKind::None, totals);
    }
    RemoveTree(dir);
    std::printf("compared %zu keys, %zu values, %zu lookups through the overlays of %zu replayed hives\n", totals.keys,
                totals.values, totals.lookups, replayed);
    EXPECT_EQ(replayed, 8u); // the four whose logs are stale or damaged on purpose do not replay
    EXPECT_GT(totals.keys, 30000u);
}

} // namespace
