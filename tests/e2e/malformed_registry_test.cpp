// The shipped binary over registry exports of any shape: broken, binary,
// huge lines, and a file too large to read.
#include <gtest/gtest.h>

#include <sys/types.h>
#include <unistd.h>

#include <string>

#include "process_run.h"
#include "scenarios.h"

namespace {

TEST(MalformedRegistry, AnswersAsAnEmptyOrPartialRegistry)
{
    using namespace scenario;
    const std::string version = Section("Software\\Microsoft\\Windows NT\\CurrentVersion") + Text("CurrentVersion", "5.1");
    const std::string adapter = CardNt(1, Adapter, "NtNet");
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 131 + 7) % 256);
    struct Case {
        const char *what;
        std::string file;
        int exitCode;
        std::string output;
    };
    const Case cases[] = {
        // The release values are cut off, the name survives.
        {"truncated inside the adapter's section", "REGEDIT4\r\n" + version + adapter.substr(0, adapter.size() - 30), 5,
         "NtNet"},
        {"binary garbage", garbage, 2, "XXXXXX"},
        {"garbage after a good start", "REGEDIT4\r\n" + version + adapter + garbage, 0, "NtNet"},
        {"a huge line before the adapter", "REGEDIT4\r\n" + version + "\"x\"=\"" + std::string(4 << 20, 'x') + "\r\n" + adapter,
         0, "NtNet"},
        {"unterminated string", "REGEDIT4\r\n" + version + Section("System\\CurrentControlSet\\Services\\TESRO411\\Parameters") +
                                    "\"VendorDescription\"=\"Tessaro/IEEE PC Card\r\n\"DesiredSSID\"=\"N\"\r\n",
         2, "XXXXXX"},
        {"unterminated continuation", "REGEDIT4\r\n" + version + adapter + "\"Z\"=hex:41,\\", 0, "NtNet"},
        {"odd-length UTF-16", std::string("\xFF\xFE", 2) + "W\0i\0n\0" + "\x01", 2, "XXXXXX"},
        {"NUL bytes inside lines", "REGEDIT4\r\n" + version + std::string("\0\0[\0]\r\n", 7) + adapter, 0, "NtNet"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string root = MakeTempDir("dorovivi-malformed");
        WriteFile(root + "/HKLM.reg", c.file);
        ProcessResult result = RunProcess({DOROVIVI_BINARY, "H"}, {"DOROVIVI_ROOT=" + root});
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.output, c.output);
    }
}

// A sparse file of 4 GiB with a good adapter at its start: refused with one
// line on stderr and the empty registry's answer, never read as if empty.
TEST(MalformedRegistry, ExportOf4GiBIsRefusedAloud)
{
    using namespace scenario;
    std::string root = MakeTempDir("dorovivi-large");
    std::string path = root + "/HKLM.reg";
    WriteFile(path, "REGEDIT4\r\n" + Section("Software\\Microsoft\\Windows NT\\CurrentVersion") +
                        Text("CurrentVersion", "5.1") + CardNt(1, Adapter, "NtNet"));
    for (off_t size : {static_cast<off_t>(4ll << 30), static_cast<off_t>(5ll << 30)}) {
        ASSERT_EQ(truncate(path.c_str(), size), 0);
        ProcessResult result = RunProcess({DOROVIVI_BINARY, "H"}, {"DOROVIVI_ROOT=" + root}, root + "/stderr");
        EXPECT_EQ(result.exitCode, 2) << size;
        EXPECT_EQ(result.output, "XXXXXX") << size;
        std::string message = ReadFile(root + "/stderr");
        EXPECT_EQ(message, "dorovivi: " + path + " is 4 GiB or more, too large to read; the registry is empty\n") << size;
        // No traced rerun here: the trace digests the file as stored, gigabytes
        // that the other rows' message events need not cost.
    }
    unlink(path.c_str());
}

} // namespace
