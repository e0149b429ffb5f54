// dorovivi-inventory run as a process over emulated systems, and with a
// stand-in dorovivi beside a copy of it for the runs that go wrong.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "creg_writer.h"
#include "inventory/table_field.h"
#include "process_run.h"
#include "scenarios.h"

namespace {

std::string Listing(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *entries = opendir(dir.c_str())) {
        while (dirent *entry = readdir(entries))
            names.push_back(entry->d_name);
        closedir(entries);
    }
    std::sort(names.begin(), names.end());
    std::string listing;
    for (const std::string &name : names)
        listing += name == "." || name == ".." ? "" : name + " ";
    return listing;
}

// A copy of the program alone in a directory, with `dorovivi` beside it
// when a stand-in script is given.
std::string LoneInventory(const std::string &standIn)
{
    std::string dir = MakeTempDir("dorovivi-inventory-bin");
    WriteFile(dir + "/dorovivi-inventory", ReadFile(DOROVIVI_INVENTORY_BINARY));
    chmod((dir + "/dorovivi-inventory").c_str(), 0755);
    if (!standIn.empty()) {
        WriteFile(dir + "/dorovivi", "#!/bin/sh\n" + standIn);
        chmod((dir + "/dorovivi").c_str(), 0755);
    }
    return dir + "/dorovivi-inventory";
}

TEST(InventoryField, EscapesWhatWouldSplitTheTable)
{
    struct Case {
        std::string bytes, field;
    };
    const Case cases[] = {
        {"HomeNet", "HomeNet"},
        {"", ""},
        {"a\tb", "a\\tb"},
        {"a\nb\n", "a\\nb\\n"},
        {"a\\b", "a\\\\b"},
        {"\\t", "\\\\t"}, // stays apart from an escaped tab
        {"cr\r\n", "cr\r\\n"},
        {std::string("\0\xff\x1b", 3), std::string("\0\xff\x1b", 3)},
    };
    for (const Case &c : cases) {
        std::string line = "x";
        AppendEscaped(line, c.bytes);
        EXPECT_EQ(line, "x" + c.field) << c.field;
    }
    EXPECT_EQ(OutcomeField({ChildOutcome::Exited, 0}), "0");
    EXPECT_EQ(OutcomeField({ChildOutcome::Exited, 101}), "101");
    EXPECT_EQ(OutcomeField({ChildOutcome::Signalled, 15}), "signal 15");
    EXPECT_EQ(OutcomeField({ChildOutcome::NotStarted, 0}), "-");
}

// Many roots of every kind in a shuffled order, more at once than there are
// processors: the lines come in argument order, and no atom table is left
// anywhere but in the private directory, which goes too.
TEST(Inventory, LinesInArgumentOrderAndNoAtomsLeft)
{
    using namespace scenario;
    const std::string nt = "REGEDIT4\r\n" + Section("Software\\Microsoft\\Windows NT\\CurrentVersion") +
                           Text("CurrentVersion", "5.1");
    const std::string w98 = "REGEDIT4\r\n" + Section("Software\\Microsoft\\Windows\\CurrentVersion") +
                            Text("VersionNumber", "4.10.2222");
    struct System {
        const char *dir;
        std::string registry; // "" : no such root
        bool drive;           // SYSTEM.DAT on a Windows 98 drive, not HKLM.reg
        const char *fields;
    };
    const System systems[] = {
        {"nt", nt + CardNt(1, Adapter, "NtNet") + Companion("1"), false, "0\tNtNet\t101"},
        {"98 other release", w98 + Card98(CardOne, "Net\\0000", Adapter, "Tab\there\\x", {"1", "5", "0"}), false,
         "5\tTab\\there\\\\x\t100"},
        {"empty", nt, false, "2\tXXXXXX\t100"},
        {"98 drive", w98 + Card98(CardTwo, "Net\\0001", Adapter, "DriveNet") + Companion("2"), true,
         "0\tDriveNet\t101"},
        {"missing", "", false, "2\tXXXXXX\t100"},
        {"tab\there\nnewline", nt + CardNt(2, Adapter, "Odd"), false, "0\tOdd\t100"},
    };
    const std::size_t count = sizeof systems / sizeof systems[0];
    std::string scratch = MakeTempDir("dorovivi-inventory");
    for (const std::string &dir : {scratch + "/runtime", scratch + "/tmp", scratch + "/roots"})
        mkdir(dir.c_str(), 0755);
    for (const System &s : systems) {
        std::string root = scratch + "/roots/" + s.dir;
        if (s.registry.empty())
            continue;
        mkdir(root.c_str(), 0755);
        if (s.drive) {
            mkdir((root + "/WINDOWS").c_str(), 0755);
            WriteFile(root + "/WINDOWS/SYSTEM.DAT", WriteCregFile(FixtureFromRegText(s.registry)));
        } else {
            WriteFile(root + "/HKLM.reg", s.registry);
        }
    }
    std::vector<std::string> argv = {DOROVIVI_INVENTORY_BINARY, "-j", "5"};
    std::string expected;
    const int rounds = 8;
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < count; ++i) {
            const System &s = systems[(i * 5 + round) % count];
            argv.push_back(scratch + "/roots/" + s.dir);
            std::string root;
            AppendEscaped(root, argv.back());
            expected += root + "\t" + s.fields + "\n";
        }
    }
    std::string errors = scratch + "/stderr";
    // The trace variable reaches every run, and runs at once append whole lines.
    std::string trace = scratch + "/trace.jsonl";
    ProcessResult result = RunProcess(
        argv, {"XDG_RUNTIME_DIR=" + scratch + "/runtime", "TMPDIR=" + scratch + "/tmp", "DOROVIVI_TRACE=" + trace},
        errors);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, expected);

    // Only the missing root complains, once for H and once for @ each time.
    const std::string prefix = scratch + "/roots/missing: dorovivi: ";
    std::string message = ReadFile(errors);
    int lines = 0;
    for (std::size_t at = 0; at < message.size(); at = message.find('\n', at) + 1, ++lines)
        EXPECT_EQ(message.compare(at, prefix.size(), prefix), 0) << message.substr(at);
    EXPECT_EQ(lines, 2 * rounds);
    EXPECT_EQ(message.back(), '\n');

    int roots = 0, missing = 0;
    std::string traced = ReadFile(trace);
    for (std::size_t at = 0, end; at < traced.size(); at = end + 1) {
        end = traced.find('\n', at);
        ASSERT_NE(end, std::string::npos) << "the trace ends in a whole line";
        std::string line = traced.substr(at, end - at);
        EXPECT_TRUE(line.compare(0, 10, "{\"event\":\"") == 0 && line.back() == '}' &&
                    line.find('{', 1) == std::string::npos)
            << line;
        roots += line.compare(0, 15, "{\"event\":\"root\"") == 0;
        missing += line == "{\"event\":\"root\",\"path\":\"" + scratch + "/roots/missing\",\"kind\":\"none\"}";
    }
    EXPECT_EQ(roots, 2 * rounds * static_cast<int>(count));
    EXPECT_EQ(missing, 2 * rounds);

    // Traced to stderr, stderr is JSON lines, each run's with its root and command first.
    result = RunProcess(argv, {"XDG_RUNTIME_DIR=" + scratch + "/runtime", "TMPDIR=" + scratch + "/tmp", "DOROVIVI_TRACE=-"},
                        errors);
    EXPECT_EQ(result.output, expected);
    ProcessResult read = RunProcess({"/usr/bin/jq", "-r", R"(if (.root | type) == "string" and (.command == "H" or
        .command == "@") then select(.event == "message") | .root + ": " + .text else error("no run") end)", errors}, {});
    EXPECT_EQ(read.exitCode, 0) << ReadFile(errors);
    EXPECT_EQ(read.output, message) << "the same lines, as events";
    traced = ReadFile(errors);
    std::size_t events = 0;
    for (std::size_t at = traced.find(",\"event\":\"root\","); at != std::string::npos; at = traced.find(",\"event\":\"root\",", at + 1))
        ++events;
    EXPECT_EQ(events, 2 * rounds * count);

    EXPECT_EQ(Listing(scratch + "/runtime"), "");
    EXPECT_EQ(Listing(scratch + "/tmp"), "");
    for (const System &s : systems)
        EXPECT_EQ(Listing(scratch + "/roots/" + s.dir), s.registry.empty() ? "" : s.drive ? "WINDOWS " : "HKLM.reg ");
}

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
    const std::string usage = "usage: dorovivi-inventory [-j JOBS] [--] ROOT...\n";
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
