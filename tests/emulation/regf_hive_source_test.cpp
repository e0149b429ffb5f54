// The NT hive pair as HKLM, over hives written by hivex from tables. Pins
// what the source relies on in hivex: raw data with its declared size
// (inline data of 1-4 bytes included), the default value's empty name, and
// that names come back as stored so the source compares them itself.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/posix/sources/regf_hive_source.h"
#include "regf_writer.h"
#include "process_run.h"
#include "registry_files.h"

namespace {

std::string Dword(unsigned value)
{
    std::string bytes;
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

std::unique_ptr<RegistrySource> OpenPair(const RegistryFixture &system, const RegistryFixture &software)
{
    std::string dir = MakeTempDir("dorovivi-regf");
    EXPECT_TRUE(WriteRegfHive(system, dir + "/SYSTEM"));
    EXPECT_TRUE(WriteRegfHive(software, dir + "/SOFTWARE"));
    std::vector<HiveFileFacts> facts;
    RegistrySource *source = OpenRegfHiveSource(HostRegistryFile(dir + "/SYSTEM"), {}, HostRegistryFile(dir + "/SOFTWARE"),
                                                {}, facts);
    EXPECT_NE(source, nullptr);
    return std::unique_ptr<RegistrySource>(source);
}

TEST(RegfHiveSource, ValuesComeOutAsTheAFunctionGivesThem)
{
    const std::string big(5000, 'b');
    RegistryFixture system = {
        {"Select", {{"Current", REG_DWORD, Dword(1)}}},
        {"ControlSet001\\Services\\Svc",
         {{"", REG_SZ, std::string("def\0", 4)},
          {"Text", REG_SZ, std::string("abc\0", 4)},
          {"NoNul", REG_SZ, "abc"},
          {"Empty", REG_SZ, ""},
          {"Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
          {"Expand", REG_EXPAND_SZ, std::string("\xC3\xA9\0", 3)},
          {"One", REG_BINARY, "q"},
          {"Three", REG_BINARY, "xyz"},
          {"Number", REG_DWORD, Dword(0x01020304)},
          {"Big", REG_BINARY, big}}},
        {"ControlSet002\\Services\\Other", {}},
    };
    RegistryFixture software = {{"Microsoft", {}}, {"Vendor\\Product", {{"version", REG_SZ, std::string("2.5\0", 4)}}}};
    std::unique_ptr<RegistrySource> source = OpenPair(system, software);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->FormatPlatformId(), static_cast<DWORD>(VER_PLATFORM_WIN32_NT));

    struct Case {
        const char *path, *name;
        bool found;
        DWORD type;
        std::string data;
    };
    const char svc[] = "SYSTEM\\CurrentControlSet\\Services\\Svc";
    const Case cases[] = {
        {svc, "", true, REG_SZ, std::string("def\0", 4)},
        {svc, "Text", true, REG_SZ, std::string("abc\0", 4)},
        {"system\\currentcontrolset\\SERVICES\\svc", "TEXT", true, REG_SZ, std::string("abc\0", 4)},
        {svc, "NoNul", true, REG_SZ, std::string("abc\0", 4)},
        {svc, "Empty", true, REG_SZ, std::string("\0", 1)},
        {svc, "Multi", true, REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
        {svc, "Expand", true, REG_EXPAND_SZ, std::string("\xC3\xA9\0", 3)},
        {svc, "One", true, REG_BINARY, "q"},
        {svc, "Three", true, REG_BINARY, "xyz"},
        {svc, "Number", true, REG_DWORD, Dword(0x01020304)},
        {svc, "Big", true, REG_BINARY, big},
        {svc, "Missing", false, 0, ""},
        {"SYSTEM\\ControlSet001\\Services\\Svc", "Text", true, REG_SZ, std::string("abc\0", 4)},
        {"Software\\Vendor\\Product", "Version", true, REG_SZ, std::string("2.5\0", 4)},
        {"", "", false, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.name);
        DWORD type = 0;
        std::string data;
        ASSERT_EQ(source->FindValue(c.path, c.name, type, data), c.found);
        if (c.found) {
            EXPECT_EQ(type, c.type);
            EXPECT_EQ(data, c.data);
        }
    }

    struct KeyCase {
        const char *path;
        bool exists;
    };
    const KeyCase keys[] = {
        {"", true},
        {"System", true},
        {"SOFTWARE\\vendor", true},
        {"SYSTEM\\CurrentControlSet", true},
        {"SYSTEM\\ControlSet002\\Services\\Other", true},
        {"SYSTEM\\CurrentControlSet\\Services\\Other", false},
        {"SYSTEM\\CurrentControlSet\\Services\\Sv", false},
        {"SYSTEM\\ControlSet001\\CurrentControlSet", false},
        {"HARDWARE", false},
        {"SAM", false},
        {"SECURITY", false},
        {"Software\\Vendor\\Product\\", false},
    };
    for (const KeyCase &k : keys)
        EXPECT_EQ(source->KeyExists(k.path), k.exists) << k.path;
}

TEST(RegfHiveSource, CurrentControlSetIsTheSelectedSetWhenThereIsOne)
{
    struct Case {
        const char *what;
        FixtureValue current;
        bool exists;
    };
    const Case cases[] = {
        {"set 3 selected", {"Current", REG_DWORD, Dword(3)}, true},
        {"setup-time copy", {"Current", REG_DWORD, Dword(0)}, false},
        {"selected set missing", {"Current", REG_DWORD, Dword(2)}, false},
        {"not a DWORD", {"Current", REG_SZ, std::string("3\0", 2)}, false},
        {"no Current", {"Default", REG_DWORD, Dword(3)}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        RegistryFixture system = {{"Select", {c.current}}, {"ControlSet003\\Services\\Mark", {}}};
        std::unique_ptr<RegistrySource> source = OpenPair(system, {{"Microsoft", {}}});
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->KeyExists("SYSTEM\\CurrentControlSet\\Services\\Mark"), c.exists);
        EXPECT_TRUE(source->KeyExists("SYSTEM\\ControlSet003\\Services\\Mark"));
    }
}

} // namespace

namespace {

// Each hive of the pair answers for itself: one unreadable or of another kind
// reads as a hive with no keys (neither: no source). A name with a NUL in it
// is that whole name: not the one before the NUL, nor a Select.
TEST(RegfHiveSource, EachHiveAnswersForItselfByWholeNames)
{
    const RegistryFixture system = {{"Select", {{"Current", REG_DWORD, Dword(1)}}}, {"ControlSet001", {}},
                                    {"Zerokey", {}}};
    const RegistryFixture software = {{"Microsoft", {}}};
    struct Case {
        const char *what;
        const RegistryFixture *system, *software; // null: 8 KB of garbage
        const char *stored, *patched;             // a name in SYSTEM and the same with a NUL put in; "": none
        bool systemRead, softwareRead;
    };
    const Case cases[] = {
        {"both sound", &system, &software, "", "", true, true},
        {"SYSTEM garbage", nullptr, &software, "", "", false, true},
        {"SYSTEM as SOFTWARE", &system, &system, "", "", true, false},
        {"SOFTWARE as SYSTEM, SOFTWARE garbage", &software, nullptr, "", "", false, false},
        {"a NUL in a name", &system, &software, "Zerokey", "Zero\0ey", true, true},
        {"a NUL in Select", &system, &software, "Select", "Sel\0ct", false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string dir = MakeTempDir("dorovivi-regf-each");
        for (const auto &hive : {std::make_pair("/SYSTEM", c.system), std::make_pair("/SOFTWARE", c.software)}) {
            if (hive.second == nullptr)
                WriteFile(dir + hive.first, std::string(8192, '\xA5'));
            else
                ASSERT_TRUE(WriteRegfHive(*hive.second, dir + hive.first));
        }
        std::string hive = ReadFile(dir + "/SYSTEM");
        std::size_t length = std::strlen(c.stored), at = length == 0 ? 0 : hive.find(c.stored);
        ASSERT_NE(at, std::string::npos);
        WriteFile(dir + "/SYSTEM", hive.replace(at, length, std::string(c.patched, length)));
        std::vector<HiveFileFacts> facts;
        std::unique_ptr<RegistrySource> source(OpenRegfHiveSource(HostRegistryFile(dir + "/SYSTEM"), {},
                                                                  HostRegistryFile(dir + "/SOFTWARE"), {}, facts));
        RemoveTree(dir);
        ASSERT_EQ(source != nullptr, c.systemRead || c.softwareRead);
        if (source == nullptr)
            continue;
        EXPECT_TRUE(source->KeyExists(""));
        EXPECT_EQ(source->KeyExists("SYSTEM\\CurrentControlSet"), c.systemRead);
        EXPECT_EQ(source->KeyExists("SOFTWARE\\Microsoft"), c.softwareRead);
        EXPECT_FALSE(source->KeyExists("SYSTEM\\Zero"));
        EXPECT_FALSE(source->KeyExists("SYSTEM\\Sel"));
    }
}

} // namespace
