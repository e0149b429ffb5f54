// The shipped binary against a shared atom table under load, against roots
// that cannot be written, and against registry files of any shape.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "creg_writer.h"
#include "process_run.h"
#include "regf_writer.h"
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
    // The holder says when it holds the lock and has written, so that it is
    // killed in the middle of its update, not before it.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    if (holder == 0) {
        close(ready[0]);
        int fd = open((root + "/atoms.lock").c_str(), O_RDWR | O_CREAT, 0644);
        flock(fd, LOCK_EX);
        // A half-written replacement, as a crash before the rename leaves it.
        WriteFile(root + "/atoms.tmp.1", "5 PXM INSTA");
        char done = 1;
        if (write(ready[1], &done, 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char done = 0;
    EXPECT_EQ(read(ready[0], &done, 1), 1) << "the holder never took the lock";
    close(ready[0]);
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

// An NT drive whose SYSTEM hive (or SOFTWARE hive) is replaced by `damage`
// of a good one: every form gives the empty answer and one line naming the file.
TEST(DamagedInstallation, AnswersAsAnEmptyRegistryWithOneMessage)
{
    using namespace scenario;
    RegistryFixture system = {{"Select", {{"Current", REG_DWORD, std::string("\1\0\0\0", 4)}}},
                              {"ControlSet001\\Services\\TESRO411\\Parameters",
                               {{"VendorDescription", REG_SZ, std::string(Adapter) + '\0'},
                                {"DesiredSSID", REG_SZ, std::string("NtNet\0", 6)}}}};
    std::string scratch = MakeTempDir("dorovivi-hive");
    ASSERT_TRUE(WriteRegfHive(system, scratch + "/SYSTEM"));
    const std::string good = ReadFile(scratch + "/SYSTEM");
    auto withChecksum = [](std::string hive) {
        std::uint32_t sum = 0;
        for (std::size_t at = 0; at < 0x1FC; at += 4)
            sum ^= static_cast<std::uint32_t>(static_cast<unsigned char>(hive[at])) |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(hive[at + 1])) << 8 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(hive[at + 2])) << 16 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(hive[at + 3])) << 24;
        for (int i = 0; i < 4; ++i)
            hive[0x1FC + i] = static_cast<char>(sum >> (8 * i));
        return hive;
    };
    auto patched = [&](std::size_t at, const std::string &bytes) {
        std::string hive = good;
        hive.replace(at, bytes.size(), bytes);
        return withChecksum(hive);
    };
    struct Case {
        const char *what;
        const char *file; // which hive is damaged, or "SYSTEM.DAT"
        std::string bytes; // "" with `fifo` false: an empty file
        bool fifo;
        bool readable = false; // damage hivex reads past, as the bins are all there
    };
    const Case cases[] = {
        {"empty SYSTEM", "SYSTEM", "", false},
        {"only the base block", "SYSTEM", good.substr(0, 4096), false},
        {"cut inside the bin", "SYSTEM", good.substr(0, 4096 + 200), false},
        {"bad checksum", "SYSTEM", good.substr(0, 0x30) + "X" + good.substr(0x31), false},
        {"root cell out of the file", "SYSTEM", patched(0x24, std::string("\0\0\0\x7F", 4)), false},
        {"bin size past the end", "SYSTEM", patched(4096 + 8, std::string("\0\0\0\x10", 4)), false},
        {"bins size past the end", "SYSTEM", patched(0x28, std::string("\0\0\0\x10", 4)), false, true},
        {"garbage SOFTWARE", "SOFTWARE", std::string(8192, '\xA5'), false},
        {"SYSTEM is a FIFO", "SYSTEM", "", true},
        {"SYSTEM.DAT is a FIFO", "SYSTEM.DAT", "", true},
        {"SYSTEM.DAT cut short", "SYSTEM.DAT", WriteCregFile({}).substr(0, 40), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string drive = MakeTempDir("dorovivi-damaged");
        std::string damaged;
        if (std::string(c.file) == "SYSTEM.DAT") {
            mkdir((drive + "/WINDOWS").c_str(), 0755);
            damaged = drive + "/WINDOWS/SYSTEM.DAT";
        } else {
            std::string config = drive + "/WINNT/system32/config";
            for (const std::string &dir : {drive + "/WINNT", drive + "/WINNT/system32", config})
                mkdir(dir.c_str(), 0755);
            WriteFile(config + "/SYSTEM", good);
            WriteFile(config + "/SOFTWARE", good);
            damaged = config + "/" + c.file;
        }
        unlink(damaged.c_str());
        if (c.fifo)
            mkfifo(damaged.c_str(), 0644);
        else
            WriteFile(damaged, c.bytes);
        std::string errors = drive + ".stderr";
        ProcessResult result = RunProcess({DOROVIVI_BINARY, "H"},
                                          {"DOROVIVI_ROOT=" + drive, "DOROVIVI_ATOMS=" + drive + ".atoms"}, errors);
        std::string message = ReadFile(errors);
        EXPECT_EQ(result.exitCode, c.readable ? 5 : 2); // 5: the release values are not in this hive
        EXPECT_EQ(result.output, c.readable ? "NtNet" : "XXXXXX");
        if (c.readable) {
            EXPECT_EQ(message, "");
            continue;
        }
        EXPECT_EQ(message.find(damaged), std::string("dorovivi: ").size()) << message;
        EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
    }
}

// Where "@" keeps the atom table when the root is a Windows drive, which is
// never written: DOROVIVI_ATOMS, else per user outside the drive.
TEST(AtomLocation, WindowsDrivesKeepTheTableOutside)
{
    using namespace scenario;
    struct Case {
        const char *what;
        bool xdg, named, foreignTmpDir;
        const char *table; // relative to the scratch directory; nullptr: no table written
    };
    const Case cases[] = {
        {"DOROVIVI_ATOMS names it", true, true, false, "named/atoms"},
        {"XDG_RUNTIME_DIR", true, false, false, "runtime/dorovivi/atoms"},
        {"private directory in TMPDIR", false, false, false, "tmp/dorovivi-UID/atoms"},
        {"a directory of another user is refused", false, false, true, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string scratch = MakeTempDir("dorovivi-atomdir");
        std::string drive = scratch + "/drive";
        for (const std::string &dir : {drive, drive + "/WINDOWS", scratch + "/runtime", scratch + "/named", scratch + "/tmp"})
            mkdir(dir.c_str(), 0755);
        WriteFile(drive + "/WINDOWS/SYSTEM.DAT",
                  WriteCregFile({{"Software\\KALVORA\\KALVORA PXM", {{"version", REG_SZ, std::string("1\0", 2)}}}}));
        if (c.foreignTmpDir) {
            mkdir((scratch + "/tmp/dorovivi-" + std::to_string(getuid())).c_str(), 0700);
            ASSERT_EQ(chown((scratch + "/tmp/dorovivi-" + std::to_string(getuid())).c_str(), getuid() + 1, getgid()), 0);
        }
        std::vector<std::string> env = {"DOROVIVI_ROOT=" + drive, "TMPDIR=" + scratch + "/tmp",
                                        std::string("XDG_RUNTIME_DIR=") + (c.xdg ? scratch + "/runtime" : "")};
        if (c.named)
            env.push_back("DOROVIVI_ATOMS=" + scratch + "/named/atoms");
        std::string errors = scratch + "/stderr";
        EXPECT_EQ(RunProcess({DOROVIVI_BINARY, "@"}, env, errors).exitCode, 101);
        if (c.table != nullptr) {
            std::string table = c.table;
            if (table.find("UID") != std::string::npos)
                table.replace(table.find("UID"), 3, std::to_string(getuid()));
            EXPECT_EQ(ReadFile(scratch + "/" + table), std::string("1 ") + Installed + "\n");
            EXPECT_EQ(ReadFile(errors), "");
        } else {
            EXPECT_NE(ReadFile(errors).find("not a private directory"), std::string::npos);
        }
        struct stat info;
        EXPECT_NE(stat((drive + "/atoms").c_str(), &info), 0) << "nothing is written on the drive";
        EXPECT_NE(stat((drive + "/atoms.lock").c_str(), &info), 0);
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
