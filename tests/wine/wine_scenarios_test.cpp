// The scenario table run through dorovivi.exe under Wine, a real
// implementation of the registry, version and atom interfaces, in three
// versions of each Windows family and in a 64-bit Windows, with API-level
// checks from Wine's relay trace and of the executable's imports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "process_run.h"
#include "relay_trace.h"
#include "scenarios.h"

namespace {

std::string Win32Dir()
{
    const char *dir = std::getenv("DOROVIVI_WIN32_DIR");
    return dir != nullptr ? dir : "";
}

// A throw-away prefix with its own persistent wineserver, so that the global
// atom table survives between the tool and the atom reader. Each is made on
// first use, once per run.
struct WinePrefix {
    const char *arch;
    // The regedit that writes as a 32-bit installer does, and whether the
    // prefix has a 64-bit view to write as well.
    const char *regedit32;
    bool wow64;
    std::vector<std::string> env;
    std::string dir;
    std::string lastRegistry, lastRegistry64; // what the previous scenario imported
    bool tried = false, ready = false;
};

WinePrefix Prefix32 = {"win32", "regedit", false, {}, "", "", "", false, false};
WinePrefix Prefix64 = {"win64", "C:\\windows\\syswow64\\regedit.exe", true, {}, "", "", "", false, false};

// The prefix, made if this is its first use; false when it cannot be made.
bool OpenPrefix(WinePrefix &prefix)
{
    if (prefix.tried)
        return prefix.ready;
    prefix.tried = true;
    prefix.dir = MakeTempDir("dorovivi-wine");
    prefix.env = {"WINEPREFIX=" + prefix.dir + "/prefix", std::string("WINEARCH=") + prefix.arch, "WINEDEBUG=-all",
                  "WINEDLLOVERRIDES=mscoree,mshtml="};
    ProcessResult boot = RunProcess({"/usr/bin/env", "wineboot", "-i"}, prefix.env, prefix.dir + "/wineboot.log");
    EXPECT_EQ(boot.exitCode, 0) << "wineboot failed, see " << prefix.dir << "/wineboot.log";
    // wineboot's own server lingers while its helpers do; a -p started then
    // finds it, exits 2, and the atoms die with the old one. So wait it out.
    RunProcess({"/usr/bin/env", "wineserver", "-w"}, prefix.env);
    ProcessResult server = RunProcess({"/usr/bin/env", "wineserver", "-p"}, prefix.env);
    EXPECT_EQ(server.exitCode, 0) << "no persistent wineserver for " << prefix.dir;
    prefix.ready = boot.exitCode == 0 && server.exitCode == 0;
    if (prefix.ready && prefix.wow64) {
        // The emulation takes a 64-bit installation from this value; Wine
        // records it as 64-bit Windows does.
        ProcessResult arch = RunProcess({"/usr/bin/env", "wine", "reg", "query",
                                         "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment",
                                         "/v", "PROCESSOR_ARCHITECTURE"},
                                        prefix.env);
        EXPECT_NE(arch.output.find("AMD64"), std::string::npos) << arch.output;
    }
    return prefix.ready;
}

// Ends the wineservers of the prefixes this run made and removes the
// prefixes (a win64 one is large); the logs beside them stay.
class WinePrefixes : public testing::Environment {
public:
    void TearDown() override
    {
        for (WinePrefix *prefix : {&Prefix32, &Prefix64}) {
            if (!prefix->tried)
                continue;
            RunProcess({"/usr/bin/env", "wineserver", "-k"}, prefix->env);
            RunProcess({"/bin/rm", "-rf", prefix->dir + "/prefix"}, {});
        }
    }
};

// Keys a scenario's file creates, so the next scenario can remove them.
std::string RemovalsOf(const std::string &registry)
{
    std::string removals;
    std::istringstream lines(registry);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("[HKEY_LOCAL_MACHINE\\", 0) == 0)
            removals += "[-" + line.substr(1) + "\n";
    }
    return removals;
}

// Three passes over the table, each with one version of either family, so
// that every version runs every scenario of its family. The test names start
// with the version, so a filter takes one row: the emulated guest of
// scripts/wine-vm.sh --ci runs win95_* and nt40_* alone.
struct ModePair {
    const char *windows98;
    const char *nt;
};
const ModePair ModePairs[] = {{"win95", "nt40"}, {"win98", "winxp"}, {"winme", "win10"}};

// The NT version the win64 prefix reports.
const char Mode64[] = "win7";

// Imports `body` with the prefix's 32-bit regedit, or into the 64-bit view.
// The latter goes through reg's /reg:64: where both halves of Wine are
// installed, `wine` starts the 32-bit loader, which runs even
// C:\windows\regedit.exe as its own 32-bit regedit, into Wow6432Node.
void Import(const WinePrefix &prefix, bool view64, const std::string &body, const char *name)
{
    std::string path = prefix.dir + "/" + name;
    WriteFile(path, "REGEDIT4\r\n\r\n" + body);
    std::vector<std::string> argv = {"/usr/bin/env", "wine", prefix.regedit32, "/S", path};
    if (view64)
        argv = {"/usr/bin/env", "wine", "reg", "import", path, "/reg:64"};
    ASSERT_EQ(RunProcess(argv, prefix.env).exitCode, 0) << argv[2];
}

// Clears what the previous scenario imported, sets the Windows version Wine
// reports and imports this scenario's keys, as a 32-bit installer writes
// them, in one regedit run; in a win64 prefix a second import writes the
// keys of the 64-bit view.
void PrepareSystem(WinePrefix &prefix, const char *mode, const std::string &registry,
                   const std::string &registry64 = "")
{
    ASSERT_TRUE(OpenPrefix(prefix));
    Import(prefix, false,
           RemovalsOf(prefix.lastRegistry) + "\r\n[HKEY_CURRENT_USER\\Software\\Wine]\r\n" + "\"Version\"=\"" +
               mode + "\"\r\n" + registry,
           "scenario.reg");
    prefix.lastRegistry = registry;
    if (prefix.wow64 && !(registry64.empty() && prefix.lastRegistry64.empty())) {
        Import(prefix, true, RemovalsOf(prefix.lastRegistry64) + registry64, "scenario64.reg");
        prefix.lastRegistry64 = registry64;
    }
}

ProcessResult RunTool(const WinePrefix &prefix, const std::vector<std::string> &args,
                      const std::vector<std::string> &extraEnv = {}, const std::string &errorPath = "")
{
    std::vector<std::string> argv = {"/usr/bin/env", "wine", Win32Dir() + "/dorovivi.exe"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = prefix.env;
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    return RunProcess(argv, env, errorPath);
}

// References the atom table holds for `name`; reading also removes them.
int TakeAtomReferences(const WinePrefix &prefix, const char *name)
{
    ProcessResult count = RunProcess({"/usr/bin/env", "wine", Win32Dir() + "/atom_count.exe", name}, prefix.env);
    return count.exitCode == 0 ? std::atoi(count.output.c_str()) : -1;
}

// The banner ends in CR LF on Windows, as a text-mode stdout would write it.
std::string WithCrLf(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// The scenarios a 32-bit or a 64-bit Windows runs.
std::vector<Scenario> WineScenarios(bool wow64)
{
    std::vector<Scenario> served;
    for (const Scenario &s : AllScenarios()) {
        if (s.family != Family::Unknown && (wow64 ? RunsAs64Bit(s.family) : RunsAs32Bit(s.family)))
            served.push_back(s);
    }
    return served;
}

void SkipWithoutWindowsBuild()
{
    if (Win32Dir().empty())
        GTEST_SKIP() << "DOROVIVI_WIN32_DIR not set: no Windows build to run";
}

class WineScenario : public testing::TestWithParam<std::tuple<Scenario, int>> {
protected:
    void SetUp() override { SkipWithoutWindowsBuild(); }
};

std::string ModeScenarioName(const testing::TestParamInfo<std::tuple<Scenario, int>> &info)
{
    const ModePair &pair = ModePairs[std::get<1>(info.param)];
    const Scenario &s = std::get<0>(info.param);
    return std::string(s.family == Family::Windows98 ? pair.windows98 : pair.nt) + "_" +
           ScenarioName(testing::TestParamInfo<Scenario>(s, info.index));
}

// Runs the tool as the scenario says and checks its answer and atom.
void CheckScenario(const WinePrefix &prefix, const Scenario &s)
{
    ProcessResult result = RunTool(prefix, s.args);
    EXPECT_EQ(result.exitCode, s.exitCode);
    EXPECT_EQ(result.output, WithCrLf(s.output));
    const char *atoms[] = {scenario::Installed, scenario::Absent};
    for (const char *atom : atoms) {
        int expected = s.atom != nullptr && std::string(s.atom) == atom ? 1 : 0;
        EXPECT_EQ(TakeAtomReferences(prefix, atom), expected) << atom;
    }
}

TEST_P(WineScenario, AnswersAsDocumented)
{
    const Scenario &s = std::get<0>(GetParam());
    const ModePair &pair = ModePairs[std::get<1>(GetParam())];
    ASSERT_NO_FATAL_FAILURE(PrepareSystem(Prefix32, s.family == Family::Windows98 ? pair.windows98 : pair.nt,
                                          s.registry));
    CheckScenario(Prefix32, s);
}

INSTANTIATE_TEST_SUITE_P(Table, WineScenario,
                         testing::Combine(testing::ValuesIn(WineScenarios(false)),
                                          testing::Range(0, static_cast<int>(std::size(ModePairs)))),
                         ModeScenarioName);

// The NT scenarios again on 64-bit Windows, where the tool sees the 32-bit
// view of HKLM\Software.
class WineScenario64 : public testing::TestWithParam<Scenario> {
protected:
    void SetUp() override { SkipWithoutWindowsBuild(); }
};

std::string Mode64ScenarioName(const testing::TestParamInfo<Scenario> &info)
{
    return std::string(Mode64) + "_" + ScenarioName(info);
}

TEST_P(WineScenario64, AnswersAsDocumented)
{
    const Scenario &s = GetParam();
    ASSERT_NO_FATAL_FAILURE(PrepareSystem(Prefix64, Mode64, s.registry, s.registry64));
    CheckScenario(Prefix64, s);
}

INSTANTIATE_TEST_SUITE_P(Table, WineScenario64, testing::ValuesIn(WineScenarios(true)), Mode64ScenarioName);

// Runs one scenario under the relay trace and returns the tool's own calls.
std::vector<RelayCall> TracedRun(const char *mode, const std::string &registry, const std::vector<std::string> &args,
                                 int expectedExit)
{
    PrepareSystem(Prefix32, mode, registry);
    if (testing::Test::HasFatalFailure())
        return {};
    std::string trace = Prefix32.dir + "/relay.log";
    ProcessResult result = RunTool(Prefix32, args, {"WINEDEBUG=+relay"}, trace);
    EXPECT_EQ(result.exitCode, expectedExit);
    TakeAtomReferences(Prefix32, scenario::Installed);
    TakeAtomReferences(Prefix32, scenario::Absent);
    return ToolCallsOf(ReadFile(trace));
}

class WineRelay : public testing::Test {
protected:
    void SetUp() override { SkipWithoutWindowsBuild(); }
};

TEST_F(WineRelay, EveryCommandOnlyReadsHklmAndClosesWhatItOpens)
{
    using namespace scenario;
    struct Case {
        const char *what;
        const char *mode;
        std::string registry;
        const char *command;
        int exitCode;
    };
    const Case cases[] = {
        {"95 H", "win95", Card98(CardOne, "Net\\0000", Adapter, "HomeNet"), "H", 0},
        {"98 H on identifier 2", "win98", Card98(CardTwo, "Net\\0001", Adapter, "Two"), "H", 0},
        {"NT 4 H", "nt40", CardNt(4, Adapter, "Four", {"1", "6", "2"}), "H", 5},
        {"10 @", "win10", Companion("1"), "@", 101},
        {"Me @", "winme", "", "@", 100},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<RelayCall> calls = TracedRun(c.mode, c.registry, {c.command}, c.exitCode);
        ASSERT_FALSE(calls.empty()) << "no calls of the tool found in the trace";
        std::string problem = CheckReadOnlyRegistryUse(calls);
        EXPECT_EQ(problem, "");
        if (std::string(c.command) == "H")
            EXPECT_EQ(CountRelayCalls(calls, "GetVersionExA"), 1);
        else
            EXPECT_EQ(CountRelayCalls(calls, "GlobalAddAtomA"), 1);
    }
}

TEST_F(WineRelay, NtWithNoMatchReadsOnlyDescriptionsTwiceOverNineInstances)
{
    std::vector<RelayCall> calls =
        TracedRun("winxp", scenario::NineOtherCards(), {"H"}, 2);
    EXPECT_EQ(CheckReadOnlyRegistryUse(calls), "");
    EXPECT_EQ(CountRelayCalls(calls, "RegOpenKeyExA"), 18);
    EXPECT_EQ(CountRelayCalls(calls, "RegQueryValueExA"), 18);
    EXPECT_EQ(CountRelayCalls(calls, "RegQueryValueExA", "\"VendorDescription\""), 18);
    EXPECT_EQ(CountRelayCalls(calls, "GetVersionExA"), 1);
}

class WineProgram : public WineRelay {};

TEST_F(WineProgram, NeedsOnlyWhatWindows95AndNt351Export)
{
    std::string exe = Win32Dir() + "/dorovivi.exe";
    ProcessResult dump = RunProcess({"/usr/bin/env", "i686-w64-mingw32-objdump", "-p", exe}, {});
    ASSERT_EQ(dump.exitCode, 0);
    // "DLL Name: KERNEL32.dll" heads the list of that DLL's functions, one a
    // line as address, hint and name.
    std::vector<std::string> imports;
    std::istringstream lines(dump.output);
    std::string line, dll;
    while (std::getline(lines, line)) {
        std::size_t name = line.find("DLL Name: ");
        std::istringstream fields(line);
        std::string address, hint, function, extra;
        if (name != std::string::npos)
            dll = line.substr(name + 10);
        else if (!dll.empty() && line[0] == '\t' && fields >> address >> hint >> function && !(fields >> extra))
            imports.push_back(dll + "!" + function);
        else if (line.empty())
            dll.clear();
    }
    EXPECT_EQ(imports, (std::vector<std::string>{"ADVAPI32.dll!RegCloseKey", "ADVAPI32.dll!RegOpenKeyExA",
                                                 "ADVAPI32.dll!RegQueryValueExA", "KERNEL32.dll!ExitProcess",
                                                 "KERNEL32.dll!GetCommandLineA", "KERNEL32.dll!GetStdHandle",
                                                 "KERNEL32.dll!GetVersionExA", "KERNEL32.dll!GlobalAddAtomA",
                                                 "KERNEL32.dll!WriteFile"}));
    EXPECT_NE(dump.output.find("(PE32)"), std::string::npos);
    EXPECT_NE(dump.output.find("(Windows CUI)"), std::string::npos);
    // NT 3.51 loads no program that asks for a later subsystem.
    EXPECT_NE(dump.output.find("MajorSubsystemVersion\t3\n"), std::string::npos);
    EXPECT_LE(ReadFile(exe).size(), 16384u);
    ProcessResult symbols = RunProcess({"/usr/bin/env", "i686-w64-mingw32-objdump", "-t", exe}, {});
    EXPECT_NE(symbols.output.find("no symbols"), std::string::npos) << "not stripped";
}

// With no C runtime nothing would run a static constructor or catch an
// exception: the tool's code must need neither.
TEST_F(WineProgram, ToolCodeHasNoStaticConstructorsOrUnwindTables)
{
    ProcessResult sections = RunProcess({"/usr/bin/env", "i686-w64-mingw32-objdump", "-h",
                                         Win32Dir() + "/libdorovivi_tool.a", Win32Dir() + "/libdorovivi_windows.a"},
                                        {});
    ASSERT_EQ(sections.exitCode, 0);
    EXPECT_NE(sections.output.find(" .text "), std::string::npos);
    for (const char *section : {" .ctors ", " .eh_frame ", " .gcc_except_table "})
        EXPECT_EQ(sections.output.find(section), std::string::npos) << section;
}

// The tool's split of command lines against msvcrt's own, on the lines of
// the unit test's table.
TEST_F(WineProgram, SplitsCommandLinesAsMsvcrtDoes)
{
    ASSERT_TRUE(OpenPrefix(Prefix32));
    ProcessResult compare = RunProcess({"/usr/bin/env", "sh", "-c", "cd \"$0\" && exec wine \"$1\"", Prefix32.dir,
                                        Win32Dir() + "/crt_split_compare.exe"},
                                       Prefix32.env);
    EXPECT_EQ(compare.exitCode, 0) << compare.output;
}

} // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new WinePrefixes);
    return RUN_ALL_TESTS();
}
