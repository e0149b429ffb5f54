// dorovivi-inventory run as a process over emulated systems: its table's
// fields, its lines in argument order, and nothing left behind.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "creg_writer.h"
#include "inventory/table_field.h"
#include "inventory_dirs.h"
#include "process_run.h"
#include "scenarios.h"

namespace {

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
        missing += line == "{\"event\":\"root\",\"path\":\"" + scratch + "/roots/missing\",\"kind\":\"none\",\"sandbox\":[]}";
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

} // namespace
