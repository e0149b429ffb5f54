// The trace's pieces from tables: JSON strings, FILETIMEs in ISO 8601,
// SHA-256 against the standard vectors, and which trace paths would write
// into the evidence.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/posix/base/filetime_text.h"
#include "platform/posix/base/sha256.h"
#include "platform/posix/base/trace_line.h"
#include "platform/posix/base/trace_start.h"
#include "process_run.h"

namespace {

TEST(TraceLine, JsonStringsEscapeQuotesControlsAndBytesThatAreNotUtf8)
{
    struct Case {
        std::string bytes, json;
    };
    const Case cases[] = {
        {"plain", "\"plain\""},
        {"", "\"\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"\n\r\t", "\"\\n\\r\\t\""},
        {std::string("\0\x01\x1f", 3), "\"\\u0000\\u0001\\u001f\""},
        {"\x7f~ ", "\"\x7f~ \""},
        {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\""}, // é € and an emoji
        {"\xf4\x8f\xbf\xbf", "\"\xf4\x8f\xbf\xbf\""},                                     // U+10FFFF
        {"a\xe9z", "\"a\\u00e9z\""},                 // Latin-1 é: not UTF-8
        {"\xc0\xaf", "\"\\u00c0\\u00af\""},          // overlong '/'
        {"\xe0\x80\xaf", "\"\\u00e0\\u0080\\u00af\""}, // overlong, three bytes
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""}, // a surrogate
        {"\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""}, // past U+10FFFF
        {"\xe2\x82", "\"\\u00e2\\u0082\""},          // cut short at the end
        {"\xe2\x82z", "\"\\u00e2\\u0082z\""},        // cut short by an ASCII byte
        {"\x80\xbf", "\"\\u0080\\u00bf\""},          // continuation bytes alone
        {"\xc3\xa9\xff\"", "\"\xc3\xa9\\u00ff\\\"\""},
    };
    for (const Case &c : cases) {
        std::string out = "x";
        AppendJsonString(out, c.bytes);
        EXPECT_EQ(out, "x" + c.json) << c.json;
    }
    TraceLine line("open");
    line.Text("key", "HKLM\\A").Number("result", -2).Null("view").List("replayed", {"a.LOG1", "b\""}).List("none", {});
    EXPECT_EQ(line.text, "{\"event\":\"open\",\"key\":\"HKLM\\\\A\",\"result\":-2,\"view\":null,"
                         "\"replayed\":[\"a.LOG1\",\"b\\\"\"],\"none\":[]");
}

TEST(TraceLine, FileTimesInIso8601Utc)
{
    struct Case {
        unsigned long long filetime;
        const char *text;
    };
    const Case cases[] = {
        {0, "1601-01-01T00:00:00Z"},
        {1, "1601-01-01T00:00:00.0000001Z"},
        {315359990000000, "1601-12-31T23:59:59Z"},
        {997056000000000, "1604-02-29T00:00:00Z"}, // the first leap day
        {31292352000000000 - 864000000000, "1700-02-28T00:00:00Z"},
        {31292352000000000, "1700-03-01T00:00:00Z"}, // 1700 is no leap year
        {116444736000000000, "1970-01-01T00:00:00Z"},
        {116444736005000000, "1970-01-01T00:00:00.5Z"},
        {125911583990000000 + 1234500, "1999-12-31T23:59:59.12345Z"},
        {125911584000000000, "2000-01-01T00:00:00Z"},
        {125963012960000000, "2000-02-29T12:34:56Z"}, // 2000 is one
        {126278784000000000, "2001-03-01T00:00:00Z"},
        {133536384000000000, "2024-02-29T00:00:00Z"},
        {157520159990000000, "2100-02-28T23:59:59Z"},
        {157520160000000000, "2100-03-01T00:00:00Z"}, // 2100 is not
        {2650467743999999999, "9999-12-31T23:59:59.9999999Z"},
        {0x7FFFFFFFFFFFFFFF, "30828-09-14T02:48:05.4775807Z"}, // the largest a hive's node can give
    };
    for (const Case &c : cases)
        EXPECT_EQ(FileTimeText(c.filetime), c.text) << c.filetime;
}

TEST(TraceLine, Sha256StandardVectorsAndBlockEdges)
{
    struct Case {
        std::string message;
        const char *digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // Where the length no longer fits the last block, and where it just does.
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
        {std::string(120, 'a'), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
    };
    std::string dir = MakeTempDir("dorovivi-sha");
    for (const Case &c : cases) {
        Sha256 whole;
        Sha256Start(whole);
        Sha256Add(whole, c.message.data(), c.message.size());
        EXPECT_EQ(Sha256Finish(whole), c.digest) << c.message.size();
        // In uneven pieces, as a file is read in chunks.
        Sha256 pieces;
        Sha256Start(pieces);
        for (std::size_t at = 0, step = 1; at < c.message.size(); at += step, step = step * 3 % 101 + 1)
            Sha256Add(pieces, c.message.data() + at, std::min(step, c.message.size() - at));
        EXPECT_EQ(Sha256Finish(pieces), c.digest) << c.message.size();
        WriteFile(dir + "/file", c.message);
        std::string hex;
        Fault fault;
        std::unique_ptr<FileBytes> file = OpenHostFileBytes(dir + "/file", fault);
        ASSERT_TRUE(file != nullptr) << FaultText(fault);
        EXPECT_TRUE(Sha256OfFile(*file, hex));
        EXPECT_EQ(hex, c.digest);
    }
    RemoveTree(dir);
}

TEST(TraceLine, PathsThatWouldWriteIntoTheEvidenceAreRefused)
{
    std::string top = MakeTempDir("dorovivi-trace-path");
    std::string root = top + "/root", image = top + "/disk.001";
    mkdir(root.c_str(), 0755);
    mkdir((root + "/WINNT").c_str(), 0755);
    WriteFile(image, "disk");
    WriteFile(top + "/existing", "");
    symlink((root + "/WINNT/trace").c_str(), (top + "/link-in").c_str());
    symlink("root/WINNT/trace", (top + "/relative-in").c_str());
    symlink(root.c_str(), (top + "/root-link").c_str());
    link(image.c_str(), (top + "/other-name").c_str());
    struct Case {
        std::string trace, root;
        const char *refusal; // the start of the reason, or "" when allowed
    };
    const Case cases[] = {
        {top + "/trace.jsonl", root, ""},
        {top + "/existing", root, ""},
        {root + "/trace.jsonl", root, "lies inside the system root"},
        {root + "/WINNT/trace.jsonl", root, "lies inside the system root"},
        {top + "/root/../root/WINNT/t", root, "lies inside the system root"},
        {top + "/link-in", root, "lies inside the system root"},       // a dangling link into the root
        {top + "/relative-in", root, "lies inside the system root"},   // the same, relative
        {top + "/root-link/t", root, "lies inside the system root"},   // the root through a link
        {root + "/t", top + "/root-link", "lies inside the system root"}, // a linked root
        {top + "/rootx/t", root, ""},                                  // a name that only starts alike
        {root, root, "is the system root"},
        {"/tmp/t", "/", "lies inside the system root"},
        {image, image, "is the system root"},
        {top + "/other-name", image, "is the system root"}, // the image under another name
        {top + "/disk.002", image, "is a segment of the system root's image"},
        {top + "/disk.E02", image, "is a segment of the system root's image"},
        {top + "/disk.jsonl", image, ""},
        {top + "/trace.jsonl", image, ""},
        {top + "/missing/t", root, ""}, // cannot be opened: its own message
        {top + "/t", top + "/no-such-root", ""},
    };
    for (const Case &c : cases) {
        std::string refusal = TracePathRefusal(c.trace, c.root);
        EXPECT_EQ(refusal.compare(0, std::strlen(c.refusal), c.refusal), 0) << c.trace << " over " << c.root;
        EXPECT_EQ(refusal.empty(), c.refusal[0] == '\0') << c.trace << " over " << c.root << ": " << refusal;
    }
    RemoveTree(top);
}

} // namespace
