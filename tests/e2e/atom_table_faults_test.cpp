// The shipped binary against a shared atom table under load, against roots
// and tables that cannot be used, and against another writer holding the
// table's lock.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
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
        bool diskTakesNothing = false;                   // every write to a file returns 0
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
        {"the table's disk takes nothing", [](const std::string &root) {
             WriteFile(root + "/atoms", "2 PXM INSTALLED 0\n");
             return root;
         }, "2 PXM INSTALLED 0\n", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string base = MakeTempDir("dorovivi-faults");
        std::string root = c.prepare(base);
        // A file root is read as a disk image, whose table is the user's:
        // that of a TMPDIR of the test's own.
        mkdir((base + "/tmp").c_str(), 0700);
        std::vector<std::string> environment = {"DOROVIVI_ROOT=" + root, "TMPDIR=" + base + "/tmp", "XDG_RUNTIME_DIR="};
        if (c.diskTakesNothing) {
            environment.push_back("LD_PRELOAD=" DOROVIVI_WRITES_TAKE_NOTHING);
            environment.push_back("DOROVIVI_FILES_TAKE_NOTHING=1");
            environment.push_back("ASAN_OPTIONS=verify_asan_link_order=0"); // the preload comes before ASan's runtime
        }
        ProcessResult result = RunProcess({DOROVIVI_BINARY, "@"}, environment, "", 60);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, 100);
        EXPECT_EQ(result.output, "");
        if (!c.tableAfter.empty()) {
            EXPECT_EQ(ReadFile(root + "/atoms"), c.tableAfter);
        }
    }
}

// Reads one byte from `fd`, waiting at most a minute: only a bound on a run
// gone wrong.
bool AwaitByte(int fd)
{
    pollfd ready = {fd, POLLIN, 0};
    char byte = 0;
    return poll(&ready, 1, 60000) == 1 && read(fd, &byte, 1) == 1;
}

// Another writer holds the table's lock while the tool runs: the tool waits
// for it, past its commit and its being killed, and counts on from there.
TEST(AtomFaults, WriterKilledWhileHoldingTheLockLosesNothing)
{
    std::string root = CompanionRoot();
    WriteFile(root + "/atoms", "4 PXM INSTALLED 1\n9 Other\n");
    int held[2], go[2], committed[2];
    ASSERT_EQ(pipe(held), 0);
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(committed), 0);
    pid_t holder = fork();
    if (holder == 0) {
        int fd = open((root + "/atoms.lock").c_str(), O_RDWR | O_CREAT, 0644);
        char byte = 1;
        if (flock(fd, LOCK_EX) != 0 || write(held[1], &byte, 1) != 1 || read(go[0], &byte, 1) != 1)
            _exit(1);
        // Its own update, committed as the tool commits, then a half-written
        // replacement, as a crash before the next rename leaves it.
        WriteFile(root + "/atoms.tmp.0", "5 PXM INSTALLED 1\n9 Other\n");
        rename((root + "/atoms.tmp.0").c_str(), (root + "/atoms").c_str());
        WriteFile(root + "/atoms.tmp.1", "6 PXM INSTA");
        if (write(committed[1], &byte, 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    ASSERT_TRUE(AwaitByte(held[0])) << "the holder never took the lock";
    // The tool's open of the lock file shows it has come to the lock.
    int opens = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(opens, 0);
    ASSERT_GE(inotify_add_watch(opens, root.c_str(), IN_OPEN), 0);
    pid_t tool = fork();
    if (tool == 0) {
        setenv("DOROVIVI_ROOT", root.c_str(), 1);
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, STDOUT_FILENO);
        execl(DOROVIVI_BINARY, DOROVIVI_BINARY, "@", static_cast<char *>(nullptr));
        _exit(127);
    }
    bool cameToLock = false;
    alignas(inotify_event) char events[4096];
    while (!cameToLock) {
        pollfd ready = {opens, POLLIN, 0};
        ssize_t got = poll(&ready, 1, 60000) == 1 ? read(opens, events, sizeof events) : -1;
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const inotify_event *event = reinterpret_cast<const inotify_event *>(events + at);
            cameToLock = cameToLock || (event->len > 0 && std::string(event->name) == "atoms.lock");
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    close(opens);
    EXPECT_TRUE(cameToLock) << "the tool never opened the lock";
    char byte = 1;
    EXPECT_EQ(write(go[1], &byte, 1), 1);
    EXPECT_TRUE(AwaitByte(committed[0])) << "the holder never committed";
    int status = 0;
    EXPECT_EQ(waitpid(tool, &status, WNOHANG), 0) << "the tool ended while the lock was held";
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    ASSERT_EQ(waitpid(tool, &status, 0), tool);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 101) << status;
    EXPECT_EQ(ReadFile(root + "/atoms"), "6 PXM INSTALLED 1\n9 Other\n");
    for (int fd : {held[0], held[1], go[0], go[1], committed[0], committed[1]})
        close(fd);
}

} // namespace
