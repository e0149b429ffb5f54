// The cell reader on damaged hives made by hand: each walk stops at the
// fault the damage makes, named by kind and bins offset, reading nothing
// outside the hive (the asan preset checks that).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/sources/regf/regf_base_block.h"
#include "platform/posix/sources/regf/regf_big_data.h"
#include "platform/posix/sources/regf/regf_hive_walk.h"
#include "platform/posix/sources/regf/regf_subkey_list.h"

namespace {

// Cells of the sound hive below, by their offset in the bins.
const std::uint32_t kRoot = 0x20, kLeaf = 0x80, kChild = 0xA0, kValues = 0x100, kClass = 0x110, kValue = 0x120,
                    kData = 0x180, kBig = 0x190, kSegments = 0x1A0, kSpare1 = 0x1C0, kSpare2 = 0x1D0, kFree = 0x1E0;

struct Patch {
    std::uint32_t at = 0; // in the file; none where both are 0
    std::uint32_t value = 0;
};

void Cell(std::string &hive, std::uint32_t at, std::int32_t size, const char *record, std::size_t length)
{
    WriteLe32(reinterpret_cast<unsigned char *>(&hive[4096 + at]), static_cast<std::uint32_t>(size));
    std::memcpy(&hive[4096 + at + 4], record, length);
}

void Put(std::string &hive, std::uint32_t at, std::uint32_t value)
{
    WriteLe32(reinterpret_cast<unsigned char *>(&hive[at]), value);
}

// A root, one subkey through an "lf", and one value of 8 bytes in a cell;
// a "db" with its segment list and two spare cells wait for the rows.
std::string SoundHive()
{
    std::string hive(8192, '\0');
    std::memcpy(&hive[0], "regf", 4);
    Put(hive, kRegfMajorVersionAt, 1);
    Put(hive, kRegfMinorVersionAt, 5);
    Put(hive, kRegfRootCellAt, kRoot);
    Put(hive, kRegfHiveBinsSizeAt, 4096);
    std::memcpy(&hive[4096], "hbin", 4);
    Put(hive, 4096 + kRegfHiveBinSizeAt, 4096);
    auto key = [&](std::uint32_t at, const char *name, std::uint32_t subkeys, std::uint32_t list, std::uint32_t values,
                   std::uint32_t valueList, std::uint32_t cls, std::uint16_t classSize) {
        unsigned char nk[kRegfKeyNameAt + 8] = {'n', 'k', kRegfKeyCompressedName};
        WriteLe32(nk + kRegfKeyLastWrittenAt, 0x01D2F00D);
        WriteLe32(nk + kRegfKeySubkeyCountAt, subkeys);
        WriteLe32(nk + kRegfKeySubkeyListAt, list);
        WriteLe32(nk + kRegfKeyValueCountAt, values);
        WriteLe32(nk + kRegfKeyValueListAt, valueList);
        WriteLe32(nk + kRegfKeyClassAt, cls);
        nk[kRegfKeyNameSizeAt] = static_cast<unsigned char>(std::strlen(name));
        nk[kRegfKeyClassSizeAt] = static_cast<unsigned char>(classSize);
        std::memcpy(nk + kRegfKeyNameAt, name, std::strlen(name));
        Cell(hive, at, -0x60, reinterpret_cast<const char *>(nk), sizeof nk);
    };
    key(kRoot, "ROOT", 1, kLeaf, 0, kRegfNoCell, kRegfNoCell, 0);
    Cell(hive, kLeaf, -0x10, "lf\1\0\xA0\0\0\0Chil", 12);
    key(kChild, "Child", 0, kRegfNoCell, 1, kValues, kClass, 4);
    Cell(hive, kValues, -0x10, "\x20\x01\0\0", 4);
    Cell(hive, kClass, -0x10, "C\0L\0", 4);
    Cell(hive, kValue, -0x30, "vk\4\0\x08\0\0\0\x80\x01\0\0\3\0\0\0\1\0\0\0Data", 24);
    Cell(hive, kData, -0x10, "12345678", 8);
    Cell(hive, kBig, -0x10, "db\2\0\xA0\x01\0\0", 8);
    Cell(hive, kSegments, -0x08, "\0\0\0\0", 4);
    Cell(hive, kSpare1, -0x10, "", 0);
    Cell(hive, kSpare2, -0x10, "", 0);
    Cell(hive, kFree, 4096 - kFree, "", 0);
    return hive;
}

bool ReadClass(void *context, const RegfKey &key, unsigned)
{
    unsigned char name[64];
    std::size_t size = 0;
    return RegfKeyClass(*static_cast<RegfReader *>(context), key, name, sizeof name, size);
}

bool ReadData(void *context, const RegfKey &, const RegfValue &value)
{
    unsigned char data[64];
    std::size_t size = 0;
    return RegfReadValueData(*static_cast<RegfReader *>(context), value, data, sizeof data, size);
}

std::uint32_t Field(std::uint32_t cell, std::size_t at)
{
    return 4096 + cell + 4 + static_cast<std::uint32_t>(at); // in the file
}

TEST(RegfCellFaults, EachDamageStopsTheWalkWithItsFault)
{
    const std::uint32_t ri = 0x00016972; // "ri" and a count of 1
    struct Row {
        const char *what;
        Patch patches[4];
        RegfFaultKind fault;
        std::uint32_t offset;
        std::size_t fileSize = 8192;
    };
    const Row rows[] = {
        {"sound", {}, RegfFaultKind::None, 0},
        {"not a hive", {{0, 0x66676572 + 1}}, RegfFaultKind::NotAHive, 0},
        {"bins size not whole bins", {{kRegfHiveBinsSizeAt, 4000}}, RegfFaultKind::BinsSizeInvalid, 0},
        {"file ends inside the bins", {}, RegfFaultKind::ReadFailed, kClass, 4096 + kValues},
        {"offset past the bins", {{Field(kRoot, kRegfKeySubkeyListAt), 0x10000}}, RegfFaultKind::OffsetPastBins, 0x10000},
        {"offset misaligned", {{Field(kChild, kRegfKeyValueListAt), kValues + 4}}, RegfFaultKind::OffsetMisaligned, kValues + 4},
        {"offset in a bin header", {{Field(kRoot, kRegfKeySubkeyListAt), 8}}, RegfFaultKind::NoHiveBin, 8},
        {"no hive bin", {{4096, 0x6e696278}}, RegfFaultKind::NoHiveBin, kRoot},
        {"cell runs past its bin", {{4096 + kChild, 0xFFFFE000}}, RegfFaultKind::CellPastBin, kChild},
        {"cell size zero", {{4096 + kLeaf, 0}}, RegfFaultKind::CellSizeInvalid, kLeaf},
        {"cell size -4", {{4096 + kLeaf, 0xFFFFFFFC}}, RegfFaultKind::CellSizeInvalid, kLeaf},
        {"cell size negative, odd", {{4096 + kLeaf, 0xFFFFFFF3}}, RegfFaultKind::CellSizeInvalid, kLeaf},
        {"cell free", {{4096 + kData, 0x10}}, RegfFaultKind::CellFree, kData},
        {"lf count larger than its cell", {{Field(kLeaf, 0), 0x00C8666C}}, RegfFaultKind::CountPastCell, kLeaf},
        {"lf pointing at itself", {{Field(kLeaf, 4), kLeaf}}, RegfFaultKind::NotKeyNode, kLeaf},
        {"list not a list", {{Field(kRoot, kRegfKeySubkeyListAt), kData}}, RegfFaultKind::NotSubkeyList, kData},
        {"ri within ri",
         {{Field(kRoot, kRegfKeySubkeyListAt), kSpare1}, {Field(kSpare1, 0), ri}, {Field(kSpare1, 4), kSpare2},
          {Field(kSpare2, 0), ri}},
         RegfFaultKind::IndexRootNested, kSpare2},
        {"ri pointing at itself", {{Field(kRoot, kRegfKeySubkeyListAt), kSpare1}, {Field(kSpare1, 0), ri}, {Field(kSpare1, 4), kSpare1}},
         RegfFaultKind::IndexRootNested, kSpare1},
        {"subkey listed below itself", {{Field(kChild, kRegfKeySubkeyCountAt), 1}, {Field(kChild, kRegfKeySubkeyListAt), kLeaf}},
         RegfFaultKind::KeyLoop, kChild},
        {"subkey count not the list's", {{Field(kRoot, kRegfKeySubkeyCountAt), 2}}, RegfFaultKind::SubkeyCountMismatch, kRoot},
        {"key name past its cell", {{Field(kChild, kRegfKeyNameSizeAt), 0x200}}, RegfFaultKind::NamePastCell, kChild},
        {"value name past its cell", {{Field(kValue, 0), 0x01006B76}}, RegfFaultKind::NamePastCell, kValue},
        {"class past its cell", {{Field(kChild, kRegfKeyClassSizeAt), 0x40}}, RegfFaultKind::ClassPastCell, kClass},
        {"value count larger than its cell", {{Field(kChild, kRegfKeyValueCountAt), 5}}, RegfFaultKind::CountPastCell, kValues},
        {"value list entry not a value", {{Field(kValues, 0), kChild}}, RegfFaultKind::NotValueKey, kChild},
        {"data past its cell", {{Field(kValue, kRegfValueDataSizeAt), 13}}, RegfFaultKind::DataPastCell, kData},
        {"inline data over 4 bytes", {{Field(kValue, kRegfValueDataSizeAt), 0x80000005}}, RegfFaultKind::InlineDataTooLong, kValue},
        {"db with too many segments", {{Field(kValue, kRegfValueDataSizeAt), 20000}, {Field(kValue, kRegfValueDataAt), kBig}, {Field(kBig, 0), 0x00056264}},
         RegfFaultKind::BigDataSegments, kBig},
        {"db segment count past its list", {{Field(kValue, kRegfValueDataSizeAt), 20000}, {Field(kValue, kRegfValueDataAt), kBig}},
         RegfFaultKind::CountPastCell, kSegments},
        {"big data not db", {{Field(kValue, kRegfValueDataSizeAt), 20000}, {Field(kValue, kRegfValueDataAt), kSpare1}},
         RegfFaultKind::NotBigData, kSpare1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        std::string hive = SoundHive();
        for (const Patch &patch : row.patches)
            if (patch.at != 0 || patch.value != 0)
                Put(hive, patch.at, patch.value);
        std::string file = hive.substr(0, row.fileSize); // exactly as long: a read past it is out of bounds
        MemoryHiveBytes bytes(file.data(), file.size());
        RegfReader reader;
        RegfWalkVisitor visitor;
        visitor.key = ReadClass;
        visitor.value = ReadData;
        visitor.context = &reader;
        bool walked = RegfOpenHive(bytes, reader) && RegfWalkHive(reader, visitor, 100);
        EXPECT_EQ(walked, row.fault == RegfFaultKind::None);
        EXPECT_STREQ(RegfFaultName(reader.fault.kind), RegfFaultName(row.fault));
        EXPECT_EQ(reader.fault.offset, row.offset);
    }
}

TEST(RegfCellFaults, AWalkStopsPastTheDeepestTreeAndItsKeyCount)
{
    // A chain of 600 keys, each the one subkey of the one before, in one big bin.
    const std::uint32_t keys = 600, step = 0x70, binSize = 69632;
    std::string hive = SoundHive().substr(0, 4096) + std::string(binSize, '\0');
    Put(hive, kRegfHiveBinsSizeAt, binSize);
    std::memcpy(&hive[4096], "hbin", 4);
    Put(hive, 4096 + kRegfHiveBinSizeAt, binSize);
    for (std::uint32_t i = 0; i < keys; ++i) {
        std::uint32_t at = kRoot + i * step;
        unsigned char nk[kRegfKeyNameAt + 1] = {'n', 'k', kRegfKeyCompressedName};
        WriteLe32(nk + kRegfKeySubkeyCountAt, i + 1 < keys ? 1 : 0);
        WriteLe32(nk + kRegfKeySubkeyListAt, at + 0x60);
        nk[kRegfKeyNameSizeAt] = 1;
        nk[kRegfKeyNameAt] = 'k';
        Cell(hive, at, -0x60, reinterpret_cast<const char *>(nk), sizeof nk);
        unsigned char li[8] = {'l', 'i', 1};
        WriteLe32(li + 4, at + step);
        Cell(hive, at + 0x60, -0x10, reinterpret_cast<const char *>(li), sizeof li);
    }
    Cell(hive, kRoot + keys * step, static_cast<std::int32_t>(binSize - kRoot - keys * step), "", 0);
    MemoryHiveBytes bytes(hive.data(), hive.size());
    RegfReader reader;
    RegfWalkVisitor visitor;
    ASSERT_TRUE(RegfOpenHive(bytes, reader));
    EXPECT_FALSE(RegfWalkHive(reader, visitor, 10000));
    EXPECT_EQ(reader.fault.kind, RegfFaultKind::KeyTreeTooDeep);
    EXPECT_EQ(reader.fault.offset, kRoot + (kRegfDeepestKeyTree + 1) * step);
    ASSERT_TRUE(RegfOpenHive(bytes, reader));
    EXPECT_FALSE(RegfWalkHive(reader, visitor, 100));
    EXPECT_EQ(reader.fault.kind, RegfFaultKind::WalkLimit);
    EXPECT_EQ(reader.fault.offset, kRoot + 100 * step);
}

TEST(RegfCellFaults, TheSoundHiveAnswersLookupsInAnyCase)
{
    std::string hive = SoundHive();
    MemoryHiveBytes bytes(hive.data(), hive.size());
    RegfReader reader;
    RegfKey root, child;
    RegfValue value;
    const std::uint16_t childName[] = {'c', 'H', 'I', 'L', 'D'}, dataName[] = {'d', 'a', 'T', 'a'}, other[] = {'C'};
    ASSERT_TRUE(RegfOpenHive(bytes, reader) && RegfRootKey(reader, root));
    ASSERT_TRUE(RegfFindSubkey(reader, root, childName, 5, child));
    EXPECT_EQ(child.cell.offset, kChild);
    EXPECT_EQ(child.lastWritten, 0x01D2F00Du);
    EXPECT_FALSE(RegfFindSubkey(reader, root, childName, 4, child));
    EXPECT_FALSE(RegfFindSubkey(reader, root, other, 1, child));
    ASSERT_TRUE(RegfFindSubkey(reader, root, childName, 5, child) && RegfFindValue(reader, child, dataName, 4, value));
    EXPECT_FALSE(RegfFindValue(reader, child, dataName, 3, value) || RegfFindValue(reader, child, other, 1, value));
    unsigned char data[8], cls[4];
    std::size_t size = 0;
    ASSERT_TRUE(RegfReadValueData(reader, value, nullptr, 0, size)); // the size alone
    EXPECT_EQ(size, 8u);
    ASSERT_TRUE(RegfReadValueData(reader, value, data, sizeof data, size));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(data), size), "12345678");
    EXPECT_EQ(value.type, 3u);
    ASSERT_TRUE(RegfKeyClass(reader, child, cls, sizeof cls, size));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(cls), size), std::string("C\0L\0", 4));
    EXPECT_EQ(reader.fault.kind, RegfFaultKind::None);
}

TEST(RegfCellFaults, NamesCompareByUpperCase)
{
    const std::uint16_t pairs[][2] = {
        {'a', 'A'},     {'z', 'Z'},     {'{', '{'},     {0xE4, 0xC4},   {0xF7, 0xF7},   {0xFE, 0xDE},
        {0xFF, 0x178},  {0xDF, 0xDF},   {0x101, 0x100}, {0x100, 0x100}, {0x13A, 0x139}, {0x17E, 0x17D},
        {0x3B1, 0x391}, {0x3C2, 0x3A3}, {0x44F, 0x42F}, {0x451, 0x401}, {0xFF41, 0xFF21}, {0x4E00, 0x4E00},
    };
    for (const auto &pair : pairs)
        EXPECT_EQ(RegfUpcase(pair[0]), pair[1]) << std::hex << pair[0];
}

} // namespace
