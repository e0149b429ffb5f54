#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adapter/network_name_query.h"
#include "fake_win32.h"
#include "release_text.h"

namespace {

const char *const Cards[] = {"MORVAL_TECHNOLOGIES-TESSARO/IEEE-A7E2", "ZEMTA-TESSARO/IEEE-3F9B"};
const std::string ClassRoot = "System\\CurrentControlSet\\Services\\Class\\";

// One 9x card configuration: enumeration entry, class key and release.
void ConfigureCard(int card, const std::string &ssid, const char *major = ReleaseNumber(ToolVersionMajor))
{
    std::string driver = "Net\\000" + std::to_string(card);
    fake::SetText(std::string("Enum\\PCMCIA\\") + Cards[card] + "\\0", "Driver", driver);
    fake::SetText(ClassRoot + driver, "VendorDescription", "Tessaro/IEEE PC Card");
    fake::SetText(ClassRoot + driver, "DesiredSSID", ssid);
    fake::SetText(ClassRoot + driver, "DriverVariant", ReleaseNumber(ToolVariant));
    fake::SetText(ClassRoot + driver, "DriverMajor", major);
    fake::SetText(ClassRoot + driver, "DriverMinor", ReleaseNumber(ToolVersionMinor));
}

int RunQuery(std::string &output)
{
    testing::internal::CaptureStdout();
    int code = RunNetworkNameQuery();
    output = testing::internal::GetCapturedStdout();
    return code;
}

TEST(NetworkNameQuery, Windows9xTriesBothIdentifiersInOrder)
{
    struct Case {
        const char *what;
        bool cardOne;
        bool cardTwo;
        const char *major;
        int exitCode;
        std::string output;
    };
    const char *major = ReleaseNumber(ToolVersionMajor);
    const Case cases[] = {
        {"identifier 1 only", true, false, major, 0, "Net0"},
        {"identifier 1, other release", true, false, ReleaseNumber(ToolVersionMajor, -1), 5, "Net0"},
        {"identifier 2 only", false, true, major, 0, "Net1"},
        {"both: identifier 1 wins", true, true, major, 0, "Net0"},
        {"neither", false, false, major, 2, "XXXXXX"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake::Reset();
        fake::SetPlatform(VER_PLATFORM_WIN32_WINDOWS);
        if (c.cardOne)
            ConfigureCard(0, "Net0", c.major);
        if (c.cardTwo)
            ConfigureCard(1, "Net1", c.major);
        std::string output;
        EXPECT_EQ(RunQuery(output), c.exitCode);
        EXPECT_EQ(output, c.output);
        if (c.cardOne) {
            EXPECT_EQ(fake::CountCalls("RegOpenKeyExA", std::string("Enum\\PCMCIA\\") + Cards[1] + "\\0"), 0);
        }
    }
}

TEST(NetworkNameQuery, NamesAreWrittenAsStored)
{
    for (const std::string &ssid : std::vector<std::string>{"", "100%s%d%n", "two words", std::string(258, 'w')}) {
        fake::Reset();
        fake::SetPlatform(VER_PLATFORM_WIN32_WINDOWS);
        ConfigureCard(0, ssid);
        std::string output;
        EXPECT_EQ(RunQuery(output), 0);
        EXPECT_EQ(output, ssid);
    }
}

TEST(NetworkNameQuery, NtWithNothingSearchesNineInstancesTwice)
{
    fake::Reset();
    fake::SetPlatform(VER_PLATFORM_WIN32_NT);
    std::string output;
    EXPECT_EQ(RunQuery(output), 2);
    EXPECT_EQ(output, "XXXXXX");
    EXPECT_EQ(fake::CountCalls("RegOpenKeyExA"), 18);
    EXPECT_EQ(fake::CountCalls("GetVersionExA"), 1);
}

TEST(NetworkNameQuery, UnservedFamilyFindsNothing)
{
    fake::Reset();
    fake::SetPlatform(VER_PLATFORM_WIN32_WINDOWS, false);
    ConfigureCard(0, "Net0");
    std::string output;
    EXPECT_EQ(RunQuery(output), 2);
    EXPECT_EQ(output, "XXXXXX");
    EXPECT_EQ(fake::CountCalls("RegOpenKeyExA"), 0);
}

} // namespace
