// Every command-line byte and every value size the tool can meet, judged by
// the documented rules. Run under the sanitizers, these also prove that no
// size overruns a buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adapter/network_name_query.h"
#include "companion/companion_probe.h"
#include "fake_win32.h"
#include "release_text.h"
#include "run_command.h"

namespace {

bool IsCommandLetter(unsigned char c)
{
    return c == '@' || c == 'H' || c == 'V';
}

TEST(ExhaustiveArguments, EveryFirstByteAlone)
{
    for (int byte = 0; byte < 256; ++byte) {
        fake::Reset();
        std::string argument = byte == 0 ? std::string() : std::string(1, static_cast<char>(byte));
        std::string output;
        int code = DispatchWords({"dorovivi", argument}, output);
        if (!IsCommandLetter(static_cast<unsigned char>(byte))) {
            EXPECT_EQ(code, 1) << "byte " << byte;
            EXPECT_EQ(output, "") << "byte " << byte;
            EXPECT_TRUE(fake::Calls.empty()) << "byte " << byte;
        }
    }
}

// The three letters alone run their command, here over an empty registry.
TEST(ExhaustiveArguments, EachLetterAloneRunsItsCommand)
{
    struct Case {
        const char *argument;
        int exitCode;
        const char *output;
        std::vector<std::string> atoms;
        int versionQueries;
    };
    const Case cases[] = {
        {"V", 0, ReleaseBanner(), {}, 0},
        {"H", 2, "XXXXXX", {}, 1},
        {"@", 100, "", {"PXM INSTALLED 0"}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.argument);
        fake::Reset();
        fake::SetPlatform(VER_PLATFORM_WIN32_NT);
        std::string output;
        EXPECT_EQ(DispatchWords({"dorovivi", c.argument}, output), c.exitCode);
        EXPECT_EQ(output, c.output);
        EXPECT_EQ(fake::AddedAtoms, c.atoms);
        EXPECT_EQ(fake::CountCalls("GetVersionExA"), c.versionQueries);
        EXPECT_EQ(fake::OpenKeys, 0);
    }
}

TEST(ExhaustiveArguments, EveryTwoBytesBehindEachLetterAndSecondArguments)
{
    for (char letter : {'@', 'H', 'V'}) {
        for (int first = 1; first < 256; ++first) {
            for (int second = 0; second < 256; ++second) {
                std::string argument = {letter, static_cast<char>(first)};
                if (second != 0)
                    argument += static_cast<char>(second);
                fake::Calls.clear();
                std::string output;
                int code = DispatchWords({"dorovivi", argument}, output);
                if (code != 4 || !output.empty() || !fake::Calls.empty())
                    FAIL() << "argument " << letter << " " << first << " " << second << ": exit " << code;
            }
        }
    }
    for (int first = 0; first < 256; ++first) {
        std::string argument = first == 0 ? std::string() : std::string(1, static_cast<char>(first));
        fake::Calls.clear();
        std::string output;
        int expected = IsCommandLetter(static_cast<unsigned char>(first)) ? 4 : 1;
        EXPECT_EQ(DispatchWords({"dorovivi", argument, "V"}, output), expected) << "byte " << first;
        EXPECT_EQ(DispatchWords({"dorovivi", argument, "", "x"}, output), expected) << "byte " << first;
        EXPECT_EQ(output, "");
        EXPECT_TRUE(fake::Calls.empty());
    }
}

// The largest stored size each value may have and still be used, with its
// NUL and without: worked out by hand from the destinations (Driver 128 bytes,
// and its class key path "System\\...\\Class\\" (40) plus it within 127;
// DesiredSSID 260; release numbers 32; version 128), the registry's 259-byte
// limit, and a NUL added where the value has none.
struct Largest {
    const char *value;
    std::size_t withNul, withoutNul;
};
const Largest Limits[] = {
    {"Driver", 88, 87},
    {"DesiredSSID", 259, 259},
    {"DriverMinor", 32, 31},
    {"version", 128, 127},
};

bool Fits(const char *value, std::size_t size, bool terminated)
{
    for (const Largest &limit : Limits) {
        if (std::string(limit.value) == value)
            return size <= (terminated ? limit.withNul : limit.withoutNul);
    }
    ADD_FAILURE() << "no limit for " << value;
    return false;
}

const std::string Enum = "Enum\\PCMCIA\\MORVAL_TECHNOLOGIES-TESSARO/IEEE-A7E2\\0";
const std::string Class = "System\\CurrentControlSet\\Services\\Class\\";

void ConfigureAdapter(const std::string &driver)
{
    fake::SetPlatform(VER_PLATFORM_WIN32_WINDOWS);
    fake::SetText(Enum, "Driver", driver);
    fake::SetText(Class + driver, "VendorDescription", "Tessaro/IEEE PC Card");
    fake::SetText(Class + driver, "DesiredSSID", "Net");
    fake::SetText(Class + driver, "DriverVariant", ReleaseNumber(ToolVariant));
    fake::SetText(Class + driver, "DriverMajor", ReleaseNumber(ToolVersionMajor));
    fake::SetText(Class + driver, "DriverMinor", ReleaseNumber(ToolVersionMinor));
}

struct Probe {
    int exitCode;
    std::string output;
};

Probe RunH()
{
    testing::internal::CaptureStdout();
    int code = RunNetworkNameQuery();
    return {code, testing::internal::GetCapturedStdout()};
}

// The stored bytes: `size` digits "0" (a number the release check accepts
// only for DriverMinor), the last a NUL when `terminated`.
std::string Bytes(std::size_t size, bool terminated, char fill)
{
    std::string bytes(size, fill);
    if (terminated && size > 0)
        bytes.back() = '\0';
    return bytes;
}

TEST(ExhaustiveValueSizes, EachValueTheToolReads)
{
    const DWORD types[] = {REG_SZ, REG_BINARY, REG_DWORD};
    for (DWORD type : types) {
        for (int nul = 0; nul < 2; ++nul) {
            for (std::size_t size = 0; size <= 300; ++size) {
                bool terminated = nul == 1 && size > 0;
                std::size_t textLength = terminated ? size - 1 : size;
                SCOPED_TRACE("type " + std::to_string(type) + " size " + std::to_string(size) +
                             (terminated ? " with NUL" : " without NUL"));

                // "Driver": the class key path must also fit its 128 bytes.
                fake::Reset();
                std::string driver(textLength, 'k');
                ConfigureAdapter(driver);
                fake::SetValue(Enum, "Driver", type, Bytes(size, terminated, 'k'));
                bool driverWorks = Fits("Driver", size, terminated);
                Probe h = RunH();
                EXPECT_EQ(h.exitCode, driverWorks ? 0 : 2) << "Driver";

                // "VendorDescription": any of these sizes is another adapter.
                fake::Reset();
                ConfigureAdapter("Net\\0000");
                fake::SetValue(Class + "Net\\0000", "VendorDescription", type, Bytes(size, terminated, 'd'));
                EXPECT_EQ(RunH().exitCode, 2) << "VendorDescription";

                // "DesiredSSID": printed whole when it fits the 260-byte buffer.
                fake::Reset();
                ConfigureAdapter("Net\\0000");
                fake::SetValue(Class + "Net\\0000", "DesiredSSID", type, Bytes(size, terminated, 's'));
                h = RunH();
                bool ssidFits = Fits("DesiredSSID", size, terminated);
                EXPECT_EQ(h.exitCode, ssidFits ? 0 : 2) << "DesiredSSID";
                EXPECT_EQ(h.output, ssidFits ? std::string(textLength, 's') : "XXXXXX") << "DesiredSSID";

                // Release numbers: a run of zeros is the number 0, right only for DriverMinor.
                for (const char *name : {"DriverVariant", "DriverMajor", "DriverMinor"}) {
                    fake::Reset();
                    ConfigureAdapter("Net\\0000");
                    fake::SetValue(Class + "Net\\0000", name, type, Bytes(size, terminated, '0'));
                    bool minor = std::string(name) == "DriverMinor";
                    EXPECT_EQ(RunH().exitCode, minor && Fits("DriverMinor", size, terminated) ? 0 : 5) << name;
                }

                // "version": presence is all, when it fits its 128 bytes.
                fake::Reset();
                fake::SetValue("Software\\KALVORA\\KALVORA PXM", "version", type, Bytes(size, terminated, 'v'));
                EXPECT_EQ(RunCompanionProbe(), Fits("version", size, terminated) ? 101 : 100) << "version";
            }
        }
    }
}

} // namespace
