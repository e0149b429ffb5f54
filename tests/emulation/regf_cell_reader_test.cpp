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
#include <string>
#include <vector>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/text_encoding.h"
#include "platform/posix/sources/regf/regf_base_block.h"
#include "platform/posix/sources/regf/regf_big_data.h"
#include "platform/posix/sources/regf/regf_hive_walk.h"
#include "platform/posix/sources/regf/regf_subkey_list.h"
#include "process_run.h"
#include "regf_reference_dump.h"
#include "regf_writer.h"

namespace {

struct Walk {
    RegfHive *hive;
    Dump *out;
    std::size_t bigData; // values read from "db" segments
    std::vector<RegfKey> keys;
    std::vector<std::string> paths;
};

std::string NameOf(RegfHive &hive, const RegfName &name, std::vector<std::uint16_t> &units)
{
    std::size_t count = 0;
    units.assign(RegfNameLength(name), 0);
    RegfNameUnits(hive, name, units.data(), units.size(), count);
    std::string bytes, text;
    for (std::uint16_t unit : units)
        bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    AppendUtf16LeAsUtf8(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), text);
    return text; // may hold a NUL: the caller cuts it for the comparison
}

// UTF-8 to UTF-16 units, enough for names.
std::vector<std::uint16_t> Units(const std::string &text)
{
    std::vector<std::uint16_t> units;
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = text[i];
        std::size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        std::uint32_t cp = extra > 0 ? c & (0x3F >> extra) : c;
        for (std::size_t k = 1; k <= extra && i + k < text.size(); ++k)
            cp = cp << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += extra + 1;
        if (cp >= 0x10000)
            units.insert(units.end(), {static_cast<std::uint16_t>(0xD800 + ((cp - 0x10000) >> 10)),
                                       static_cast<std::uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))});
        else
            units.push_back(static_cast<std::uint16_t>(cp));
    }
    return units;
}

// What the lookup of the name in the other case finds: a file offset, as hivex gives it.
template <typename Record, typename Find>
std::string Lookup(const std::string &name, Find find)
{
    std::vector<std::uint16_t> units = Units(Flip(name));
    Record found;
    return find(units.data(), units.size(), found) ? std::to_string(found.cell.offset + 4096ull) : "0";
}

bool ReaderKey(void *context, const RegfKey &key, unsigned depth)
{
    Walk &walk = *static_cast<Walk *>(context);
    RegfHive &hive = *walk.hive;
    std::vector<std::uint16_t> units;
    walk.keys.resize(depth + 1);
    walk.paths.resize(depth + 1);
    walk.keys[depth] = key;
    std::string name = NameOf(hive, key.name, units), cut = name.substr(0, name.find('\0'));
    walk.paths[depth] = depth == 0 ? "" : walk.paths[depth - 1] + "\\" + cut;
    std::size_t size = 0;
    unsigned char cls[65536];
    RegfKeyClass(hive, key, cls, sizeof cls, size);
    walk.out->lines.push_back("K" + walk.paths[depth] + " " + std::to_string(static_cast<std::int64_t>(key.lastWritten)) +
                              " class " + Hex(cls, size));
    ++walk.out->keys;
    const RegfKey &parent = walk.keys[depth > 0 ? depth - 1 : 0];
    if (depth > 0 && Sampled(parent.subkeyCount, name) && cut == name)
        walk.out->lines.push_back("L" + walk.paths[depth] + " " + Lookup<RegfKey>(name, [&](const std::uint16_t *u, std::size_t n, RegfKey &k) {
                                      return RegfFindSubkey(hive, parent, u, n, k);
                                  }));
    return hive.fault.kind == RegfFaultKind::None;
}

bool ReaderValue(void *context, const RegfKey &key, const RegfValue &value)
{
    Walk &walk = *static_cast<Walk *>(context);
    RegfHive &hive = *walk.hive;
    std::vector<std::uint16_t> units;
    std::string name = NameOf(hive, value.name, units), cut = name.substr(0, name.find('\0'));
    std::string path = walk.paths.back();
    std::vector<unsigned char> data(std::min<std::size_t>(value.dataSize, 1u << 26) + 1);
    std::size_t size = 0;
    bool read = RegfReadValueData(hive, value, data.data(), data.size(), size);
    walk.bigData += !value.inlineData && hive.minorVersion >= kRegfBigDataFromMinor && size > kRegfBigDataSegmentSize;
    walk.out->lines.push_back("V" + path + "|" + cut + "|" + std::to_string(value.type) + "|" +
                              (read ? Hex(data.data(), size) : "?"));
    ++walk.out->values;
    if (Sampled(key.valueCount, name) && cut == name)
        walk.out->lines.push_back("W" + path + "|" + name + " " + Lookup<RegfValue>(name, [&](const std::uint16_t *u, std::size_t n, RegfValue &v) {
                                      return RegfFindValue(hive, key, u, n, v);
                                  }));
    return hive.fault.kind == RegfFaultKind::None;
}

struct Totals {
    std::size_t keys = 0, values = 0, lookups = 0, bigData = 0;
};

// Walks the hive at `path` with the cell reader, expecting `fault`, and
// compares all it read with the reference readers where they read it.
void Compare(const std::string &path, RegfFaultKind fault, bool reseal, Totals &totals)
{
    SCOPED_TRACE(path);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    FdHiveBytes bytes(fd);
    RegfHive hive;
    Dump mine, theirs;
    Walk walk = {&hive, &mine, 0, {}, {}};
    RegfWalkVisitor visitor;
    visitor.key = ReaderKey;
    visitor.value = ReaderValue;
    visitor.context = &walk;
    if (RegfOpenHive(bytes, hive))
        RegfWalkHive(hive, visitor, 1u << 22);
    close(fd);
    EXPECT_EQ(RegfFaultName(hive.fault.kind), std::string(RegfFaultName(fault))) << "at bins offset " << hive.fault.offset;
    std::string copy = path + ".resealed"; // hivex refuses a base block that fails its checksum
    if (reseal) {
        std::string bytes = ReadFile(path);
        unsigned char *block = reinterpret_cast<unsigned char *>(&bytes[0]);
        WriteLe32(block + kRegfChecksumAt, RegfBaseBlockChecksum(block));
        std::FILE *out = std::fopen(copy.c_str(), "wb");
        ASSERT_TRUE(out != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size());
        std::fclose(out);
    }
    bool hivexReads = ReferenceDump(reseal ? copy : path, theirs);
    if (!hivexReads) {
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
    totals.bigData += walk.bigData;
    for (const std::string &line : mine.lines)
        totals.lookups += line[0] == 'L' || line[0] == 'W';
}

bool Unpack(const std::string &from, const std::string &dir, const std::string &name)
{
    return std::system(("xz -dc '" + from + "/" + name + ".xz' > '" + dir + "/" + name + "'").c_str()) == 0;
}

TEST(RegfCellReader, ReadsWindowsHivesAsHivexDoes)
{
    struct stat st;
    if (stat(DOROVIVI_REAL_DIRTY, &st) != 0 || stat(DOROVIVI_REAL_GENUINE, &st) != 0) {
        const char *ci = std::getenv("CI");
        if (ci != nullptr && std::string(ci) == "true")
            FAIL() << DOROVIVI_REAL_DIRTY " is missing";
        GTEST_SKIP() << "needs the Windows-made hives in " DOROVIVI_REAL_GENUINE " and " DOROVIVI_REAL_DIRTY;
    }
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
        Compare(dir + "/" + c.hive, c.fault, c.reseal, totals);
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
    for (int i = 0; i < 300; ++i)
        fixture.push_back({"Wide\\Sub" + std::to_string(i * 7919 % 1000), {{"v", REG_DWORD, std::string(4, char(i))}}});
    std::string dir = MakeTempDir("dorovivi-cell-reader");
    ASSERT_TRUE(WriteRegfHive(fixture, dir + "/written"));
    Totals totals;
    Compare(dir + "/written", RegfFaultKind::None, false, totals);
    RemoveTree(dir);
    EXPECT_EQ(totals.keys, 304u);
    EXPECT_EQ(totals.values, 307u);
    // The fuzzer's seeds, one a value of 16345 bytes in two big data segments.
    for (const char *seed : {"adapter.hive", "empty.hive", "bigdata.hive"})
        Compare(std::string(DOROVIVI_REGF_SEEDS "/") + seed, RegfFaultKind::None, false, totals);
    EXPECT_EQ(totals.bigData, 1u);
}

} // namespace
