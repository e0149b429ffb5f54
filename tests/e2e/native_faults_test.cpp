// The shipped binary against a shared atom table under load, against roots
// that cannot be written, and against registry files of any shape.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "process_run.h"
#include "scenarios.h"

namespace {

// Starts `count` runs of "@" at once over `root` and waits for all; returns
// how many ended with `expected`.
int RunConcurrently(int count, const std::string &root, int expected)
{
    std::vector<pid_t> children;
    for (int i = 0; i < count; ++i) {
        pid_t pid = fork();
        if (pid == 0) {
            setenv("DOROVIVI_ROOT", root.c_str(), 1);
            int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, STDOUT_FILENO);
            execl(DOROVIVI_BINARY, DOROVIVI_BINARY, "@", static_cast<char *>(nullptr));
            _exit(127);
        }
        children.push_back(pid);
    }
    int matching = 0;
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        matching += WIFEXITED(status) && WEXITSTATUS(status) == expected;
    }
    return matching;
}

std::string CompanionRoot()
{
    std::string root = MakeTempDir("dorovivi-atoms");
    WriteFile(root + "/HKLM.reg", "REGEDIT4\r\n" + scenario::Companion("1"));
    return root;
}

TEST(AtomLoad, TwoHundredConcurrentRunsCountTwoHundred)
{
    std::string root = CompanionRoot();
    // Another atom already in the table must keep its count throughout.
    WriteFile(root + "/atoms", "7 PXM INSTALLED 0\n");
    EXPECT_EQ(RunConcurrently(200, root, 101), 200);
    EXPECT_EQ(ReadFile(root + "/atoms"), "7 PXM INSTALLED 0\n200 PXM INSTALLED 1\n");
}

TEST(AtomFaults, UnusableTablesNeverChangeTheAnswer)
{
    struct Case {
        const char *what;
        std::string (*prepare)(const std::string &root); // returns the root to run in
        std::string tableAfter;                          // "" when not judged
    };
    const Case cases[] = {
        {"root is a file", [](const std::string &root) {
             WriteFile(root + "/file", "x");
             return root + "/file";
         }, ""},
        {"root missing", [](const std::string &root) { return root + "/missing"; }, ""},
        {"atoms is a directory", [](const std::string &root) {
             mkdir((root + "/atoms").c_str(), 0755);
             return root;
         }, ""},
        {"corrupt lines are kept", [](const std::string &root) {
             WriteFile(root + "/atoms", "\x01\xff garbage\n\n-3 PXM INSTALLED 0\n2 PXM INSTALLED 0\n");
             return root;
         }, "\x01\xff garbage\n\n-3 PXM INSTALLED 0\n3 PXM INSTALLED 0\n"},
        {"truncated table", [](const std::string &root) {
             WriteFile(root + "/atoms", "5 PXM INSTALLED 1\n2 PXM INST");
             return root;
         }, "5 PXM INSTALLED 1\n2 PXM INST\n1 PXM INSTALLED 0\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string base = MakeTempDir("dorovivi-faults");
        std::string root = c.prepare(base);
        ProcessResult result = RunProcess({DOROVIVI_BINARY, "@"}, {"DOROVIVI_ROOT=" + root});
        EXPECT_EQ(result.exitCode, 100);
        EXPECT_EQ(result.output, "");
        if (!c.tableAfter.empty()) {
            EXPECT_EQ(ReadFile(root + "/atoms"), c.tableAfter);
        }
    }
}

TEST(AtomFaults, WriterKilledWhileHoldingTheLockLosesNothing)
{
    std::string root = CompanionRoot();
    WriteFile(root + "/atoms", "4 PXM INSTALLED 1\n9 Other\n");
    pid_t holder = fork();
    if (holder == 0) {
        int fd = open((root + "/atoms.lock").c_str(), O_RDWR | O_CREAT, 0644);
        flock(fd, LOCK_EX);
        // A half-written replacement, as a crash before the rename leaves it.
        WriteFile(root + "/atoms.tmp.1", "5 PXM INSTA");
        pause();
        _exit(0);
    }
    usleep(100000);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    ProcessResult result = RunProcess({DOROVIVI_BINARY, "@"}, {"DOROVIVI_ROOT=" + root});
    EXPECT_EQ(result.exitCode, 101);
    EXPECT_EQ(ReadFile(root + "/atoms"), "5 PXM INSTALLED 1\n9 Other\n");
}

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

} // namespace

namespace {

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
    }
    unlink(path.c_str());
}

} // namespace
