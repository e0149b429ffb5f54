#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fake_win32.h"
#include "registry/read_reg_string.h"

namespace {

const char Key[] = "Software\\Test";

struct SizeCase {
    const char *what;
    DWORD type;
    std::string stored;
    std::size_t destinationSize;
    int result;
    std::string text; // what the destination holds on success
};

int ReadIntoSize(std::size_t size, std::string &text)
{
    char buffer[300];
    std::memset(buffer, 'Z', sizeof buffer);
    int result = ReadRegStringInto(HKEY_LOCAL_MACHINE, Key, "V", buffer, size);
    // Nothing past the announced destination may be touched.
    for (std::size_t i = size; i < sizeof buffer; ++i)
        EXPECT_EQ(buffer[i], 'Z') << "byte " << i << " written past a " << size << "-byte destination";
    text = result ? std::string(buffer) : std::string();
    return result;
}

TEST(ReadRegString, SizesAndTermination)
{
    const std::string fill258(258, 'a');
    const SizeCase cases[] = {
        {"259 bytes with NUL fits the limit", REG_SZ, fill258 + '\0', 260, 1, fill258},
        {"260 bytes with NUL is over the limit", REG_SZ, fill258 + "b" + '\0', 260, 0, ""},
        {"259 bytes without NUL gets one", REG_BINARY, fill258 + "b", 260, 1, fill258 + "b"},
        {"empty text", REG_SZ, std::string(1, '\0'), 32, 1, ""},
        {"no bytes at all", REG_BINARY, "", 32, 1, ""},
        {"fits exactly with its NUL", REG_SZ, std::string(31, 'c') + '\0', 32, 1, std::string(31, 'c')},
        {"one byte too long for the destination", REG_SZ, std::string(32, 'c') + '\0', 32, 0, ""},
        {"unterminated, needs room for the NUL", REG_BINARY, std::string(32, 'c'), 32, 0, ""},
        {"unterminated, fits with the NUL", REG_BINARY, std::string(31, 'c'), 32, 1, std::string(31, 'c')},
        {"200-byte text into 128 bytes", REG_SZ, std::string(200, 'd') + '\0', 128, 0, ""},
        {"a DWORD is its raw bytes", REG_DWORD, std::string("\x01\0\0\0", 4), 32, 1, "\x01"},
    };
    for (const SizeCase &c : cases) {
        SCOPED_TRACE(c.what);
        fake::Reset();
        fake::SetValue(Key, "V", c.type, c.stored);
        std::string text;
        EXPECT_EQ(ReadIntoSize(c.destinationSize, text), c.result);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(fake::OpenKeys, 0);
    }
}

TEST(ReadRegString, AnnouncesTheLimitAndClosesEveryOpenedKey)
{
    fake::Reset();
    EXPECT_EQ(ValueReadLimit, 259u);

    char buffer[128];
    EXPECT_EQ(ReadRegString(HKEY_LOCAL_MACHINE, Key, "V", buffer), 0);
    EXPECT_EQ(fake::CountCalls("RegCloseKey"), 0) << "nothing to close after a failed open";
    EXPECT_EQ(fake::CountCalls("RegQueryValueExA"), 0);

    fake::AddKey(Key);
    EXPECT_EQ(ReadRegString(HKEY_LOCAL_MACHINE, Key, "Missing", buffer), 0);
    EXPECT_EQ(fake::CountCalls("RegCloseKey", "software\\test"), 1);

    fake::SetText(Key, "V", "text");
    EXPECT_EQ(ReadRegString(HKEY_LOCAL_MACHINE, Key, "V", buffer), 1);
    EXPECT_STREQ(buffer, "text");
    EXPECT_EQ(fake::CountCalls("RegCloseKey", "software\\test"), 2);
    EXPECT_EQ(fake::OpenKeys, 0);
}

} // namespace
