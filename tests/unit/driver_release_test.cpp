#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "adapter/adapter_key_path.h"
#include "adapter/decimal_text.h"
#include "adapter/driver_release.h"
#include "fake_win32.h"

namespace {

TEST(ParseDecimal, AtoiGrammarHeldAtTheIntRange)
{
    struct Case {
        const char *text;
        int number;
    };
    const Case cases[] = {
        {"6", 6},           {"06", 6},           {" 6", 6},         {"\t\n6", 6},
        {"6.10", 6},        {"+1", 1},           {"-3", -3},        {"", 0},
        {"x", 0},           {"+", 0},            {"- 1", 0},        {"+-1", 0},
        {"\x01", 0},        {"2147483647", INT_MAX},                {"-2147483648", INT_MIN},
        {"2147483648", INT_MAX},                 {"4294967302", INT_MAX},
        {"-99999999999999999999", INT_MIN},      {"00000000000000000000006", 6},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ParseDecimal(c.text), c.number) << "text [" << c.text << "]";
}

const char Key[] = "System\\CurrentControlSet\\Services\\Class\\Net\\0001";

struct ReleaseCase {
    const char *what;
    const char *variant; // nullptr: the value is missing
    const char *major;
    const char *minor;
    int result;
    std::vector<std::string> reads;
};

void SetIfPresent(const char *name, const char *text)
{
    if (text != nullptr)
        fake::SetText(Key, name, text);
}

TEST(DriverRelease, ReadsInOrderAndStopsAtTheFirstDifference)
{
    const std::vector<std::string> all = {"DriverVariant", "DriverMajor", "DriverMinor"};
    const ReleaseCase cases[] = {
        {"expected release", "1", "6", "0", 1, all},
        {"minor missing", "1", "6", nullptr, 0, all},
        {"minor empty counts as 0", "1", "6", "", 1, all},
        {"minor a letter counts as 0", "1", "6", "b", 1, all},
        {"major 6.10", "1", "6.10", "0", 1, all},
        {"major 06", "1", "06", "0", 1, all},
        {"major with a leading space", "1", " 6", "0", 1, all},
        {"variant with a plus sign", "+1", "6", "0", 1, all},
        {"variant missing", nullptr, "6", "0", 0, {"DriverVariant"}},
        {"variant 2", "2", "6", "0", 0, {"DriverVariant"}},
        {"major 5", "1", "5", "0", 0, {"DriverVariant", "DriverMajor"}},
        {"major wraps to 6 under atoi", "1", "4294967302", "0", 0, {"DriverVariant", "DriverMajor"}},
        {"minor 1", "1", "6", "1", 0, all},
    };
    for (const ReleaseCase &c : cases) {
        SCOPED_TRACE(c.what);
        fake::Reset();
        fake::AddKey(Key);
        std::strcpy(AdapterKeyPath, Key);
        SetIfPresent("DriverVariant", c.variant);
        SetIfPresent("DriverMajor", c.major);
        SetIfPresent("DriverMinor", c.minor);
        EXPECT_EQ(IsExpectedDriverRelease(), c.result);
        EXPECT_EQ(fake::QueriedValues(), c.reads);
    }
}

TEST(DriverRelease, NumbersStoredAsDwordAreTakenAsText)
{
    fake::Reset();
    std::strcpy(AdapterKeyPath, Key);
    fake::SetValue(Key, "DriverVariant", REG_DWORD, std::string("\x01\0\0\0", 4));
    fake::SetText(Key, "DriverMajor", "6");
    fake::SetText(Key, "DriverMinor", "0");
    EXPECT_EQ(IsExpectedDriverRelease(), 0);

    // A DWORD 0 reads as an empty text, which is the number 0.
    fake::SetText(Key, "DriverVariant", "1");
    fake::SetValue(Key, "DriverMinor", REG_DWORD, std::string(4, '\0'));
    EXPECT_EQ(IsExpectedDriverRelease(), 1);
}

TEST(DriverRelease, ReleaseTextLongerThanItsBufferIsAbsent)
{
    fake::Reset();
    std::strcpy(AdapterKeyPath, Key);
    fake::SetText(Key, "DriverVariant", "1" + std::string(40, ' '));
    fake::SetText(Key, "DriverMajor", "6");
    fake::SetText(Key, "DriverMinor", "0");
    EXPECT_EQ(IsExpectedDriverRelease(), 0);
}

} // namespace
