#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "companion/companion_probe.h"
#include "fake_win32.h"

namespace {

const char CompanionKey[] = "Software\\KALVORA\\KALVORA PXM";

TEST(CompanionProbe, PresenceOfVersionDecidesTheAtomAndExitCode)
{
    struct Case {
        const char *what;
        bool key;
        DWORD type;
        const char *version; // nullptr: no value
        std::size_t size;
        int exitCode;
        const char *atom;
    };
    const Case cases[] = {
        {"version text", true, REG_SZ, "3.1", 4, 101, "PXM INSTALLED 1"},
        {"empty version", true, REG_SZ, "", 1, 101, "PXM INSTALLED 1"},
        {"version as DWORD", true, REG_DWORD, "\x03\0\0\0", 4, 101, "PXM INSTALLED 1"},
        {"key without version", true, REG_SZ, nullptr, 0, 100, "PXM INSTALLED 0"},
        {"no key", false, REG_SZ, nullptr, 0, 100, "PXM INSTALLED 0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake::Reset();
        if (c.key)
            fake::AddKey(CompanionKey);
        if (c.version != nullptr)
            fake::SetValue(CompanionKey, "version", c.type, std::string(c.version, c.size));
        testing::internal::CaptureStdout();
        EXPECT_EQ(RunCompanionProbe(), c.exitCode);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(fake::AddedAtoms, std::vector<std::string>{c.atom});
    }
}

TEST(CompanionProbe, VersionLongerThanItsBufferCountsAsAbsent)
{
    fake::Reset();
    fake::SetText(CompanionKey, "version", std::string(127, 'v'));
    EXPECT_EQ(IsCompanionInstalled(), 1);
    fake::SetText(CompanionKey, "version", std::string(128, 'v'));
    EXPECT_EQ(IsCompanionInstalled(), 0);
}

} // namespace
