// .reg files read from disk in pieces: UTF-16 cut between surrogates, and
// 8-bit text cut by the read buffer.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/posix/sources/reg_export.h"
#include "process_run.h"
#include "reg_export_headers.h"

namespace {

// UTF-16 files are read in pieces; a character made of two UTF-16 units
// must survive being cut between two pieces, wherever the cut falls.
TEST(RegExportFile, Utf16PiecesKeepSurrogatePairsWhole)
{
    const std::string emoji = "\xF0\x9F\x98\x80"; // U+1F600, two UTF-16 units
    for (int shift = 0; shift < 2; ++shift) {
        std::string before = V5 + "[HKEY_LOCAL_MACHINE\\A]\r\n" + std::string(shift, ' ') + "\"N\"=\"";
        std::string wide = "\xFF\xFE";
        for (char c : before) {
            wide += c;
            wide += '\0';
        }
        const int pairs = 40000; // spans the first 64 KiB piece
        for (int i = 0; i < pairs; ++i)
            wide += std::string("\x3D\xD8\x00\xDE", 4);
        for (char c : std::string("\"\r\n")) {
            wide += c;
            wide += '\0';
        }
        std::string path = MakeTempDir("dorovivi-utf16") + "/HKLM.reg";
        std::ofstream(path, std::ios::binary) << wide;

        RegExport exported;
        LoadRegExportFile(path.c_str(), exported);
        RegValueLine value;
        ASSERT_TRUE(RegExportFindValue(exported, "A", "N", value)) << "shift " << shift;
        std::string expected;
        for (int i = 0; i < pairs; ++i)
            expected += emoji;
        EXPECT_EQ(value.data, expected + '\0') << "shift " << shift;
    }
}

} // namespace

namespace {

// An 8-bit file is indexed through a read buffer of 128 KiB, a line end
// carried into the next: a header cut by the buffer's end, wherever the cut
// falls, and a line longer than the buffer must index as the text in memory.
TEST(RegExportFile, HeadersAcrossReadBuffersIndexAsInMemory)
{
    std::string longName(300000, 'x');
    for (int shift = 0; shift < 48; shift += 5) {
        std::string text = V4 + "[HKEY_LOCAL_MACHINE\\Pad]\r\n\"P\"=\"" + std::string(shift, 'p') + "\"\r\n";
        for (int i = 0; i < 1500; ++i)
            text += "[HKEY_LOCAL_MACHINE\\K\\Sub" + std::to_string(i) + "]\r\n\"V\"=\"" + std::string(i % 170, 'v') +
                    "\"\r\n";
        text += "[-HKEY_LOCAL_MACHINE\\K\\Sub7]\r\n[HKEY_LOCAL_MACHINE\\Long\\" + longName + "]\r\n\"L\"=dword:1\r\n";
        text += "[HKEY_LOCAL_MACHINE\\K\\Last]\r\n\"V\"=\"end\"\r\n";
        std::string path = MakeTempDir("dorovivi-buffers") + "/HKLM.reg";
        std::ofstream(path, std::ios::binary) << text;
        RegExport fromFile, inMemory;
        LoadRegExportFile(path.c_str(), fromFile);
        LoadRegExport(text, inMemory);
        ASSERT_EQ(fromFile.sections.size(), inMemory.sections.size()) << "shift " << shift;
        for (std::size_t s = 0; s < inMemory.sections.size(); ++s) {
            const RegExport::Section &a = fromFile.sections[s], &b = inMemory.sections[s];
            ASSERT_TRUE(a.pathBegin == b.pathBegin && a.pathLength == b.pathLength && a.bodyBegin == b.bodyBegin &&
                        a.bodyEnd == b.bodyEnd && a.removal == b.removal)
                << "shift " << shift << ", section " << s;
        }
        ASSERT_EQ(fromFile.names.size(), inMemory.names.size()) << "shift " << shift;
        EXPECT_FALSE(RegExportKeyExists(fromFile, "K\\Sub7"));
        EXPECT_TRUE(RegExportKeyExists(fromFile, "Long\\" + longName));
        RegValueLine value;
        ASSERT_TRUE(RegExportFindValue(fromFile, "K\\Last", "V", value)) << "shift " << shift;
        EXPECT_EQ(value.data, std::string("end\0", 4));
        ASSERT_TRUE(RegExportFindValue(fromFile, "K\\Sub1499", "V", value)) << "shift " << shift;
        EXPECT_EQ(value.data, std::string(1499 % 170, 'v') + '\0');
    }
}

} // namespace
