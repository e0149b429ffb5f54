// The scenario table run through dorovivi.exe under Wine, a real
// implementation of the registry, version and atom interfaces, in Windows 98
// and NT mode, with API-level checks from Wine's relay trace.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
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

// One prefix and one persistent wineserver for the whole run, so that the
// global atom table survives between the tool and the atom reader.
class WinePrefix : public testing::Environment {
public:
    static std::vector<std::string> Env;
    static std::string Dir;

    void SetUp() override
    {
        if (Win32Dir().empty())
            return;
        Dir = MakeTempDir("dorovivi-wine");
        Env = {"WINEPREFIX=" + Dir + "/prefix", "WINEARCH=win32", "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="};
        ProcessResult boot = RunProcess({"/usr/bin/env", "wineboot", "-i"}, Env, Dir + "/wineboot.log");
        ASSERT_EQ(boot.exitCode, 0) << "wineboot failed, see " << Dir << "/wineboot.log";
        RunProcess({"/usr/bin/env", "wineserver", "-p"}, Env);
    }

    void TearDown() override
    {
        if (!Dir.empty())
            RunProcess({"/usr/bin/env", "wineserver", "-k"}, Env);
    }
};

std::vector<std::string> WinePrefix::Env;
std::string WinePrefix::Dir;

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

std::string LastRegistry;

// Clears what the previous scenario imported, sets the Windows family and
// imports this scenario's keys, in one regedit run.
void PrepareSystem(Family family, const std::string &registry)
{
    std::string file = "REGEDIT4\r\n\r\n" + RemovalsOf(LastRegistry) + "\r\n[HKEY_CURRENT_USER\\Software\\Wine]\r\n" +
                       (family == Family::Windows98 ? "\"Version\"=\"win98\"\r\n" : "\"Version\"=-\r\n") + registry;
    LastRegistry = registry;
    std::string path = WinePrefix::Dir + "/scenario.reg";
    WriteFile(path, file);
    ASSERT_EQ(RunProcess({"/usr/bin/env", "wine", "regedit", "/S", path}, WinePrefix::Env).exitCode, 0);
}

ProcessResult RunTool(const std::vector<std::string> &args, const std::vector<std::string> &extraEnv = {},
                      const std::string &errorPath = "")
{
    std::vector<std::string> argv = {"/usr/bin/env", "wine", Win32Dir() + "/dorovivi.exe"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = WinePrefix::Env;
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    return RunProcess(argv, env, errorPath);
}

// References the atom table holds for `name`; reading also removes them.
int TakeAtomReferences(const char *name)
{
    ProcessResult count = RunProcess({"/usr/bin/env", "wine", Win32Dir() + "/atom_count.exe", name}, WinePrefix::Env);
    return count.exitCode == 0 ? std::atoi(count.output.c_str()) : -1;
}

// The C runtime keeps stdout in text mode on Windows.
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

std::vector<Scenario> WineScenarios()
{
    std::vector<Scenario> all = AllScenarios();
    std::vector<Scenario> served;
    for (const Scenario &s : all) {
        if (s.family != Family::Unknown)
            served.push_back(s);
    }
    return served;
}

class WineScenario : public testing::TestWithParam<Scenario> {
protected:
    void SetUp() override
    {
        if (Win32Dir().empty())
            GTEST_SKIP() << "DOROVIVI_WIN32_DIR not set: no Windows build to run";
    }
};

TEST_P(WineScenario, AnswersAsDocumented)
{
    const Scenario &s = GetParam();
    PrepareSystem(s.family, s.registry);
    ProcessResult result = RunTool(s.args);
    EXPECT_EQ(result.exitCode, s.exitCode);
    EXPECT_EQ(result.output, WithCrLf(s.output));
    const char *atoms[] = {scenario::Installed, scenario::Absent};
    for (const char *atom : atoms) {
        int expected = s.atom != nullptr && std::string(s.atom) == atom ? 1 : 0;
        EXPECT_EQ(TakeAtomReferences(atom), expected) << atom;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, WineScenario, testing::ValuesIn(WineScenarios()), ScenarioName);

// Runs one scenario under the relay trace and returns the tool's own calls.
std::vector<RelayCall> TracedRun(Family family, const std::string &registry, const std::vector<std::string> &args,
                                 int expectedExit)
{
    PrepareSystem(family, registry);
    std::string trace = WinePrefix::Dir + "/relay.log";
    ProcessResult result = RunTool(args, {"WINEDEBUG=+relay"}, trace);
    EXPECT_EQ(result.exitCode, expectedExit);
    TakeAtomReferences(scenario::Installed);
    TakeAtomReferences(scenario::Absent);
    return ToolCallsOf(ReadFile(trace));
}

class WineRelay : public WineScenario {};

TEST_F(WineRelay, EveryCommandOnlyReadsHklmAndClosesWhatItOpens)
{
    using namespace scenario;
    struct Case {
        const char *what;
        Family family;
        std::string registry;
        const char *command;
        int exitCode;
    };
    const Case cases[] = {
        {"98 H", Family::Windows98, Card98(CardOne, "Net\\0000", Adapter, "HomeNet"), "H", 0},
        {"98 H on identifier 2", Family::Windows98, Card98(CardTwo, "Net\\0001", Adapter, "Two"), "H", 0},
        {"NT H", Family::WindowsNt, CardNt(4, Adapter, "Four", {"1", "6", "2"}), "H", 5},
        {"NT @", Family::WindowsNt, Companion("1"), "@", 101},
        {"98 @", Family::Windows98, "", "@", 100},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<RelayCall> calls = TracedRun(c.family, c.registry, {c.command}, c.exitCode);
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
        TracedRun(Family::WindowsNt, scenario::NineOtherCards(), {"H"}, 2);
    EXPECT_EQ(CheckReadOnlyRegistryUse(calls), "");
    EXPECT_EQ(CountRelayCalls(calls, "RegOpenKeyExA"), 18);
    EXPECT_EQ(CountRelayCalls(calls, "RegQueryValueExA"), 18);
    EXPECT_EQ(CountRelayCalls(calls, "RegQueryValueExA", "\"VendorDescription\""), 18);
    EXPECT_EQ(CountRelayCalls(calls, "GetVersionExA"), 1);
}

TEST_F(WineRelay, ExecutableIsA32BitConsoleProgramWithThreeImports)
{
    ProcessResult dump = RunProcess({"/usr/bin/env", "i686-w64-mingw32-objdump", "-p", Win32Dir() + "/dorovivi.exe"}, {});
    ASSERT_EQ(dump.exitCode, 0);
    std::vector<std::string> imports;
    std::istringstream lines(dump.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::size_t name = line.find("DLL Name: ");
        if (name != std::string::npos)
            imports.push_back(line.substr(name + 10));
    }
    EXPECT_EQ(imports, (std::vector<std::string>{"ADVAPI32.dll", "KERNEL32.dll", "msvcrt.dll"}));
    EXPECT_NE(dump.output.find("(PE32)"), std::string::npos);
    EXPECT_NE(dump.output.find("(Windows CUI)"), std::string::npos);
}

} // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new WinePrefix);
    return RUN_ALL_TESTS();
}
