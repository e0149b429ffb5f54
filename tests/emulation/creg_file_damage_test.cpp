// CREG files damaged, of another kind, made by Windows, or not files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "../fixtures/creg_writer.h"
#include "creg_source_open.h"
#include "platform/posix/sources/creg_file_source.h"
#include "process_run.h"
#include "real_files.h"

namespace {

void Put32(std::string &bytes, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t Get32(const std::string &bytes, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

// The small file the damage is done to: root, A, A\B, A\C, as the writer lays
// out the key tree (one 28-byte entry each from file offset 0x40).
const RegistryFixture Small = {{"A\\B", {{"V", REG_SZ, S("b\0", 2)}}}, {"A\\C", {{"V", REG_SZ, S("c\0", 2)}}}};
const std::size_t EntryA = 0x40 + 28, EntryB = 0x40 + 56, EntryC = 0x40 + 84;
const std::size_t Sub = 16, Next = 20, Block = 26;

struct Damage {
    const char *what;
    std::string (*make)(std::string);
    const char *problem; // nullptr: opens, and then
    bool bExists;        // A\B has its value
    bool cExists;        // A\C has its value
};

std::string Cut(std::string bytes, std::size_t size) { return bytes.substr(0, size); }
std::size_t FirstBlock(const std::string &bytes) { return Get32(bytes, 8); }

const Damage Damages[] = {
    {"empty file", [](std::string) { return std::string(); }, "empty file", false, false},
    {"a .reg export", [](std::string) { return std::string("REGEDIT4\r\n\r\n"); }, "not a CREG file", false, false},
    {"cut in the file header", [](std::string b) { return Cut(b, 20); }, "truncated", false, false},
    {"cut after the key tree header", [](std::string b) { return Cut(b, 64); }, "truncated", false, false},
    {"cut in the key tree", [](std::string b) { return Cut(b, EntryC); }, "truncated", false, false},
    {"cut at the data blocks", [](std::string b) { return Cut(b, FirstBlock(b)); }, "truncated", false, false},
    {"cut in the data block header", [](std::string b) { return Cut(b, FirstBlock(b) + 16); }, "damaged", false,
     false},
    {"cut in the last key", [](std::string b) { return Cut(b, b.size() - 3); }, nullptr, false, false},
    {"no key tree signature", [](std::string b) { b[0x20] = 'X'; return b; }, "damaged", false, false},
    {"block count off by one", [](std::string b) { b[16] = 2; return b; }, "damaged", false, false},
    {"data block of size 0", [](std::string b) { Put32(b, FirstBlock(b) + 4, 0); return b; }, "damaged", false,
     false},
    {"key tree larger than the file", [](std::string b) { Put32(b, 0x24, 0x7FFFFFF0); return b; }, "truncated",
     false, false},
    {"key tree smaller than its header", [](std::string b) { Put32(b, 0x24, 8); return b; }, "damaged", false,
     false},
    {"key tree placed past the end", [](std::string b) { Put32(b, 0x28, 0xFFFFFF00); return b; }, "truncated",
     false, false},
    {"sibling chain loops", [](std::string b) { Put32(b, EntryC + Next, 0x20 + 84); return b; }, nullptr, false,
     false},
    {"sibling chain leaves the tree", [](std::string b) { Put32(b, EntryB + Next, 0x7FFFFF00); return b; }, nullptr,
     false, false},
    {"subkey is an ancestor", [](std::string b) { Put32(b, EntryB + Sub, 0x20); return b; }, nullptr, true, true},
    {"key names a missing data block",
     [](std::string b) {
         b[EntryB + Block] = 0x7F;
         return b;
     },
     nullptr, false, true},
    // libcreg reads a block's keys in turn, so one broken key hides those after it.
    {"value data runs past its key",
     [](std::string b) {
         std::size_t v = b.find("Vb", FirstBlock(b)) - 12;
         b[v + 10] = '\xFF';
         b[v + 11] = '\xFF';
         return b;
     },
     nullptr, false, false},
    {"key name entry of size 0", [](std::string b) { Put32(b, FirstBlock(b) + 32, 0); return b; }, nullptr, false,
     false},
};

TEST(CregFileSource, DamagedFilesFailOrAnswerWithinBounds)
{
    const std::string good = WriteCregFile(Small);
    for (const Damage &d : Damages) {
        SCOPED_TRACE(d.what);
        Fault fault;
        std::unique_ptr<RegistrySource> source = Open(d.make(good), fault);
        if (d.problem != nullptr) {
            EXPECT_EQ(source, nullptr);
            EXPECT_NE(fault.words.find(d.problem), std::string::npos) << fault.words;
            continue;
        }
        ASSERT_NE(source, nullptr) << fault.words;
        DWORD type = 0;
        std::string data;
        EXPECT_EQ(source->FindValue("A\\B", "V", type, data), d.bExists);
        EXPECT_EQ(source->FindValue("A\\C", "V", type, data), d.cExists);
        EXPECT_FALSE(source->KeyExists("A\\B\\A\\B\\A\\B"));
    }
}

// A CREG file whose top is not a SYSTEM.DAT's (a USER.DAT put in its place)
// is refused by name; any one of the keys every SYSTEM.DAT has will do.
TEST(CregFileSource, TopKeysTellASystemDatFromOthers)
{
    const RegistryFixture userDat = {{"AppEvents\\Schemes", {}},       {"Control Panel\\Desktop", {}},
                                     {"InstallLocationsMRU", {}},       {"keyboard layout", {}},
                                     {"Network\\Persistent", {}},       {"RemoteAccess", {}},
                                     {"Software\\Microsoft\\Windows", {}}};
    const std::string notSystemDat = "not a SYSTEM.DAT: no Config, Enum or System key at its top, which holds ";
    struct Case {
        const char *what;
        RegistryFixture keys;
        bool userDatTop;     // written without Config, Enum and System
        std::string problem; // "": opens
    };
    const Case cases[] = {
        {"a USER.DAT", userDat, true,
         notSystemDat + "AppEvents, Control Panel, InstallLocationsMRU, keyboard layout, Network, RemoteAccess, ... "
                        "(as a USER.DAT does)"},
        {"Software alone", {{"Software\\KALVORA", {}}}, true, notSystemDat + "Software"},
        {"a name that would break the line", {{std::string("Bad\nName\x7F"), {}}}, true, notSystemDat + "Bad?Name?"},
        {"no key at all", {}, true, "not a SYSTEM.DAT: no key at its top"},
        {"Enum alone, in any case", {{"ENUM\\Root", {}}, {"Control Panel", {}}}, true, ""},
        {"System alone", {{"system", {}}}, true, ""},
        {"Config alone", {{"Config\\0001", {}}}, true, ""},
        {"the writer's SYSTEM.DAT top", userDat, false, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Fault fault;
        std::unique_ptr<RegistrySource> source = Open(WriteCregFile(c.keys, c.userDatTop), fault);
        EXPECT_EQ(source == nullptr, !c.problem.empty());
        EXPECT_EQ(FaultText(fault), c.problem);
    }
}

// Windows 95 and Me made these (needs ../shared/real/genuine): each is a
// SYSTEM.DAT, whole or cut short.
TEST(CregFileSource, RealSystemDatsPassTheTopKeyRule)
{
    NEEDS_REAL(RealFilesHere(DOROVIVI_REAL_GENUINE), "the genuine SYSTEM.DATs in " DOROVIVI_REAL_GENUINE);
    std::string dir = MakeTempDir("dorovivi-real-creg");
    const char *const cases[][2] = {
        {"w95_SYSTEM.DAT", ""}, {"w95_card_SYSTEM.DAT", ""}, {"me_SYSTEM.DAT", ""}, {"me_card_SYSTEM.DAT", ""},
        {"cut_SYSTEM.DAT", "truncated: 33280 bytes, where its headers declare at least 1168512"}};
    for (const auto &c : cases) {
        const char *name = c[0];
        SCOPED_TRACE(name);
        std::string path = dir + "/" + name;
        std::string command = "xz -dc '" DOROVIVI_REAL_GENUINE "/" + std::string(name) + ".xz' > '" + path + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        Fault fault;
        std::unique_ptr<FileBytes> file = OpenHostFileBytes(path, fault);
        ASSERT_NE(file, nullptr) << FaultText(fault);
        std::unique_ptr<RegistrySource> source(OpenCregFileSource(*file, fault));
        EXPECT_EQ(fault.words, c[1]);
        EXPECT_TRUE(source == nullptr || source->KeyExists("System\\CurrentControlSet"));
    }
}

TEST(CregFileSource, DirectoryInPlaceNamesTheProblem)
{
    Fault fault;
    EXPECT_EQ(OpenHostFileBytes("/tmp", fault), nullptr);
    EXPECT_EQ(fault.file, "/tmp");
    EXPECT_EQ(fault.words, "not a regular file");
}

} // namespace
