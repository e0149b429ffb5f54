#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "adapter/adapter_key_path.h"
#include "adapter/adapter_match.h"
#include "adapter/platform_family.h"
#include "fake_win32.h"

namespace {

const char CardOne[] = "MORVAL_TECHNOLOGIES-TESSARO/IEEE-A7E2";
const char Description[] = "Tessaro/IEEE PC Card";
const std::string ClassRoot = "System\\CurrentControlSet\\Services\\Class\\";
const std::string EnumOfCardOne = "Enum\\PCMCIA\\MORVAL_TECHNOLOGIES-TESSARO/IEEE-A7E2\\0";

std::string NtInstance(char digit)
{
    return std::string("System\\CurrentControlSet\\Services\\TESRO41") + digit + "\\Parameters";
}

void Configure9x(const std::string &driver, const std::string &description, const char *ssid)
{
    fake::SetPlatform(VER_PLATFORM_WIN32_WINDOWS);
    fake::SetText(EnumOfCardOne, "Driver", driver);
    fake::SetText(ClassRoot + driver, "VendorDescription", description);
    if (ssid != nullptr)
        fake::SetText(ClassRoot + driver, "DesiredSSID", ssid);
}

TEST(PlatformFamily, AsksTheSystemOnceItHasAnAnswer)
{
    fake::Reset();
    EXPECT_EQ(VersionInfo.dwOSVersionInfoSize, 148u);
    fake::SetPlatform(VER_PLATFORM_WIN32_NT, false);
    EXPECT_EQ(GetPlatformFamily(), 0u);
    EXPECT_EQ(BuildAdapterKeyPath(CardOne), 0);
    EXPECT_EQ(GetPlatformFamily(), 0u);
    EXPECT_EQ(fake::CountCalls("GetVersionExA"), 2) << "a failed query is asked again";

    fake::SetPlatform(VER_PLATFORM_WIN32_NT, true);
    EXPECT_EQ(GetPlatformFamily(), 2u);
    EXPECT_EQ(GetPlatformFamily(), 2u);
    EXPECT_EQ(fake::CountCalls("GetVersionExA"), 3) << "a known family is not asked again";
}

TEST(AdapterKeyPath, Windows9xFollowsTheEnumerationDriver)
{
    struct Case {
        const char *what;
        bool enumKey;
        const char *driver; // nullptr: no "Driver" value
        int result;
        std::string path;
    };
    const std::string longest(87, 'k');
    const std::string tooLong(88, 'k');
    const Case cases[] = {
        {"driver present", true, "Net\\0003", 1, ClassRoot + "Net\\0003"},
        {"driver text kept exactly", true, " net\\0003 ", 1, ClassRoot + " net\\0003 "},
        {"no enumeration key", false, nullptr, 0, "previous"},
        {"key without Driver", true, nullptr, 0, "previous"},
        {"87 characters still fit", true, longest.c_str(), 1, ClassRoot + longest},
        {"88 characters do not fit", true, tooLong.c_str(), 0, "previous"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake::Reset();
        fake::SetPlatform(VER_PLATFORM_WIN32_WINDOWS);
        if (c.enumKey)
            fake::AddKey(EnumOfCardOne);
        if (c.driver != nullptr)
            fake::SetText(EnumOfCardOne, "Driver", c.driver);
        std::strcpy(AdapterKeyPath, "previous");
        GetPlatformFamily();
        EXPECT_EQ(BuildAdapterKeyPath(CardOne), c.result);
        EXPECT_EQ(AdapterKeyPath, c.path);
        EXPECT_STREQ(EnumKeyPath, EnumOfCardOne.c_str());
    }
}

TEST(AdapterKeyPath, NtIsTheSameServicePathForEveryCard)
{
    fake::Reset();
    fake::SetPlatform(VER_PLATFORM_WIN32_NT);
    GetPlatformFamily();
    for (const char *card : {CardOne, "ZEMTA-TESSARO/IEEE-3F9B", ""}) {
        EXPECT_EQ(BuildAdapterKeyPath(card), 1);
        EXPECT_EQ(AdapterKeyPath, NtInstance('1'));
        EXPECT_EQ(std::strlen(AdapterKeyPath), 53u);
    }
    EXPECT_TRUE(fake::Calls.size() == 1) << "the NT path needs no registry read";
}

TEST(AdapterKeyPath, UnservedFamiliesWriteNothing)
{
    for (DWORD family : {0u, 3u}) {
        fake::Reset();
        fake::SetPlatform(family);
        GetPlatformFamily();
        std::strcpy(AdapterKeyPath, "previous");
        EXPECT_EQ(BuildAdapterKeyPath(CardOne), 0);
        EXPECT_STREQ(AdapterKeyPath, "previous");
    }
}

TEST(AdapterMatch, Windows9xDescriptionMustMatchExactly)
{
    struct Case {
        const char *description;
        const char *ssid;
        int result;
    };
    const Case cases[] = {
        {Description, "HomeNet", 1},
        {Description, "", 1},
        {"TESSARO/IEEE PC CARD", "HomeNet", 0},
        {"Tessaro/IEEE PC Card ", "HomeNet", 0},
        {" Tessaro/IEEE PC Card", "HomeNet", 0},
        {"Tessaro/IEEE PC Car", "HomeNet", 0},
        {Description, nullptr, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string("description [") + c.description + "]");
        fake::Reset();
        Configure9x("Net\\0001", c.description, c.ssid);
        EXPECT_EQ(FindAdapterNetworkName(CardOne), c.result);
        if (c.result) {
            EXPECT_STREQ(NetworkName, c.ssid);
        }
        EXPECT_EQ(fake::CountCalls("RegQueryValueExA", "VendorDescription"), 1);
    }
}

TEST(AdapterMatch, OverlongDescriptionReadsAsAbsent)
{
    fake::Reset();
    Configure9x("Net\\0001", std::string(200, 'D'), "HomeNet");
    EXPECT_EQ(FindAdapterNetworkName(CardOne), 0);
    EXPECT_EQ(fake::CountCalls("RegQueryValueExA", "DesiredSSID"), 0);
}

TEST(AdapterMatch, NtWalksInstancesOneToNine)
{
    struct Case {
        const char *what;
        const char *instances; // digit per instance that carries the description
        const char *ssidAt;    // digits whose instance has a DesiredSSID
        int result;
        char finalDigit;
        int keyOpens; // one per instance tried, one more for the SSID
    };
    const Case cases[] = {
        {"first instance", "1", "1", 1, '1', 2},
        {"third after two missing", "3", "3", 1, '3', 4},
        {"last instance", "9", "9", 1, '9', 10},
        {"nothing anywhere", "", "", 0, '9', 9},
        {"first match has no SSID, second is never looked at", "12", "2", 0, '1', 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake::Reset();
        fake::SetPlatform(VER_PLATFORM_WIN32_NT);
        for (const char *d = c.instances; *d != '\0'; ++d)
            fake::SetText(NtInstance(*d), "VendorDescription", Description);
        for (const char *d = c.ssidAt; *d != '\0'; ++d)
            fake::SetText(NtInstance(*d), "DesiredSSID", std::string("Net") + *d);
        // A different adapter in an earlier slot must be passed over.
        if (c.instances[0] > '1')
            fake::SetText(NtInstance('1'), "VendorDescription", "Other Card");
        EXPECT_EQ(FindAdapterNetworkName(CardOne), c.result);
        EXPECT_EQ(AdapterKeyPath, NtInstance(c.finalDigit));
        EXPECT_EQ(fake::CountCalls("RegOpenKeyExA"), c.keyOpens);
        EXPECT_EQ(fake::CountCalls("RegOpenKeyExA", NtInstance('2')), c.instances[0] == '1' ? 0 : 1);
        if (c.result) {
            EXPECT_EQ(NetworkName, std::string("Net") + c.finalDigit);
        }
    }
}

} // namespace
