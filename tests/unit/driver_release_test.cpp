#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "adapter/adapter_key_path.h"
#include "adapter/decimal_text.h"
#include "adapter/driver_release.h"
#include "fake_win32.h"
#include "release_text.h"

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
    const char *v = ReleaseNumber(ToolVariant), *ma = ReleaseNumber(ToolVersionMajor);
    const char *mi = ReleaseNumber(ToolVersionMinor);
    const std::string majorDecimals = std::string(ma) + ".10", majorZero = std::string("0") + ma,
                      majorSpace = std::string(" ") + ma, variantPlus = std::string("+") + v;
    // An empty or non-numeric minor reads as 0: right only for a minor of 0.
    const int minorZero = ToolVersionMinor == 0;
    const ReleaseCase cases[] = {
        {"expected release", v, ma, mi, 1, all},
        {"minor missing", v, ma, nullptr, 0, all},
        {"minor empty counts as 0", v, ma, "", minorZero, all},
        {"minor a letter counts as 0", v, ma, "b", minorZero, all},
        {"major with decimals", v, majorDecimals.c_str(), mi, 1, all},
        {"major with a leading zero", v, majorZero.c_str(), mi, 1, all},
        {"major with a leading space", v, majorSpace.c_str(), mi, 1, all},
        {"variant with a plus sign", variantPlus.c_str(), ma, mi, 1, all},
        {"variant missing", nullptr, ma, mi, 0, {"DriverVariant"}},
        {"variant one on", ReleaseNumber(ToolVariant, 1), ma, mi, 0, {"DriverVariant"}},
        {"major one back", v, ReleaseNumber(ToolVersionMajor, -1), mi, 0, {"DriverVariant", "DriverMajor"}},
        {"major wraps to ours under atoi", v, ReleaseNumber(ToolVersionMajor, 1ll << 32), mi, 0,
         {"DriverVariant", "DriverMajor"}},
        {"minor one on", v, ma, ReleaseNumber(ToolVersionMinor, 1), 0, all},
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
    fake::SetText(Key, "DriverMajor", ReleaseNumber(ToolVersionMajor));
    fake::SetText(Key, "DriverMinor", ReleaseNumber(ToolVersionMinor));
    EXPECT_EQ(IsExpectedDriverRelease(), 0);

    // A DWORD 0 reads as an empty text, which is the number 0.
    fake::SetText(Key, "DriverVariant", ReleaseNumber(ToolVariant));
    fake::SetValue(Key, "DriverMinor", REG_DWORD, std::string(4, '\0'));
    EXPECT_EQ(IsExpectedDriverRelease(), ToolVersionMinor == 0 ? 1 : 0);
}

TEST(DriverRelease, ReleaseTextLongerThanItsBufferIsAbsent)
{
    fake::Reset();
    std::strcpy(AdapterKeyPath, Key);
    fake::SetText(Key, "DriverVariant", ReleaseNumber(ToolVariant) + std::string(40, ' '));
    fake::SetText(Key, "DriverMajor", ReleaseNumber(ToolVersionMajor));
    fake::SetText(Key, "DriverMinor", ReleaseNumber(ToolVersionMinor));
    EXPECT_EQ(IsExpectedDriverRelease(), 0);
}

} // namespace
