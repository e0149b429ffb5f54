// dorovivi-inventory with a stand-in dorovivi beside a copy of it, for the
// runs that go wrong, and the command lines it refuses.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "inventory_dirs.h"
#include "process_run.h"

namespace {

// The program beside it, else the one on PATH, else a clear "-".
TEST(Inventory, FindsDorovivi)
{
    std::string binaryDir = DOROVIVI_BINARY;
    binaryDir.erase(binaryDir.rfind('/'));
    struct Case {
        const char *what;
        std::string standIn, path, output, message;
    };
    const Case cases[] = {
        {"on PATH", "", binaryDir, "r\t2\tXXXXXX\t100\n", ""},
        {"nowhere", "", "/nonexistent", "r\t-\t\t-\n",
         "r: cannot run dorovivi H: No such file or directory\nr: cannot run dorovivi @: No such file or directory\n"},
        {"beside it, over PATH", "echo \"$DOROVIVI_ROOT $1\" >&2; exit 3\n", binaryDir, "r\t3\t\t3\n",
         "r: r H\nr: r @\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string program = LoneInventory(c.standIn);
        std::string errors = program + ".stderr";
        ProcessResult result = RunProcess({program, "-j", "1", "r"}, {"PATH=" + c.path}, errors);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.output, c.output);
        std::string message = ReadFile(errors);
        if (c.message.empty())
            EXPECT_EQ(message.find("r: dorovivi: "), 0u) << message;
        else
            EXPECT_EQ(message, c.message);
    }
}

TEST(Inventory, RunKilledBySignalAndUnendedStderrLine)
{
    std::string program = LoneInventory("printf 'first\\nunended' >&2\n"
                                        ": > \"$DOROVIVI_ATOMS\"\n"
                                        "[ \"$1\" = H ] && printf 'A\\tB' && kill -s TERM $$\n"
                                        "exit 7\n");
    std::string tmp = MakeTempDir("dorovivi-inventory-tmp");
    std::string errors = MakeTempDir("dorovivi-inventory-err") + "/stderr";
    ProcessResult result = RunProcess({program, "-j1", "--", "-r"}, {"TMPDIR=" + tmp}, errors);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "-r\tsignal 15\tA\\tB\t7\n");
    EXPECT_EQ(ReadFile(errors), "-r: first\n-r: unended\n-r: dorovivi H ended by signal 15 (Terminated)\n"
                                "-r: first\n-r: unended\n");
    EXPECT_EQ(Listing(tmp), "");
}

// A standard output that takes no byte is a failed one, not one to try
// forever; the time limit only keeps a spinning run from stopping the suite.
TEST(Inventory, OutputTakingNothingFails)
{
    std::string program = LoneInventory(": > \"$DOROVIVI_ATOMS\"\nexit 0\n");
    std::string tmp = MakeTempDir("dorovivi-inventory-tmp");
    std::string errors = MakeTempDir("dorovivi-inventory-err") + "/stderr";
    ProcessResult result = RunProcess({program, "-j1", "r"},
                                      {"LD_PRELOAD=" DOROVIVI_STDOUT_TAKES_NOTHING, "TMPDIR=" + tmp,
                                       "ASAN_OPTIONS=verify_asan_link_order=0"},
                                      errors, 60);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(ReadFile(errors), "dorovivi-inventory: standard output: Input/output error\n");
    EXPECT_EQ(Listing(tmp), "");
}

TEST(Inventory, TerminatedWhileRunningLeavesNothing)
{
    // The stand-in says through a FIFO that it runs; the test waits for that.
    std::string mark = MakeTempDir("dorovivi-inventory-mark") + "/started";
    ASSERT_EQ(mkfifo(mark.c_str(), 0600), 0);
    int started = open(mark.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(started, 0);
    std::string program = LoneInventory(": > \"$DOROVIVI_ATOMS\"; echo > \"" + mark + "\"; exec sleep 600\n");
    std::string tmp = MakeTempDir("dorovivi-inventory-tmp");
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0); // its own group, so nothing outlives the test
        setenv("TMPDIR", tmp.c_str(), 1);
        execl(program.c_str(), program.c_str(), "r", static_cast<char *>(nullptr));
        _exit(127);
    }
    // The bound only ends a run gone wrong.
    pollfd ready = {started, POLLIN, 0};
    char byte = 0;
    bool ran = poll(&ready, 1, 60000) == 1 && read(started, &byte, 1) == 1;
    close(started);
    EXPECT_TRUE(ran) << "the stand-in never started";
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    kill(-pid, SIGKILL);
    EXPECT_EQ(Listing(tmp), "");
}

TEST(Inventory, RefusesWithoutRunning)
{
    const std::string usage = "usage: dorovivi-inventory [--states] [-j JOBS] [--] ROOT...\n";
    struct Case {
        std::vector<std::string> args;
        std::string tmpdir;
        int exitCode;
        std::string message;
    };
    const Case cases[] = {
        {{}, "/tmp", 2, usage},
        {{"-j", "0", "r"}, "/tmp", 2, usage},
        {{"-j257", "r"}, "/tmp", 2, usage},
        {{"-j"}, "/tmp", 2, usage},
        {{"-x", "r"}, "/tmp", 2, usage},
        {{"-j", "2"}, "/tmp", 2, usage},
        {{"--"}, "/tmp", 2, usage},
        {{"r"}, "/nonexistent", 1,
         "dorovivi-inventory: cannot make a private directory in /nonexistent: No such file or directory\n"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> argv = {DOROVIVI_INVENTORY_BINARY};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        std::string errors = MakeTempDir("dorovivi-inventory-refused") + "/stderr";
        ProcessResult result = RunProcess(argv, {"TMPDIR=" + c.tmpdir}, errors);
        EXPECT_EQ(result.exitCode, c.exitCode) << argv.size();
        EXPECT_EQ(result.output, "");
        EXPECT_EQ(ReadFile(errors), c.message);
    }
}

} // namespace
