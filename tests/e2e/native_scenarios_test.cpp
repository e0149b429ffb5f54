#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "process_run.h"
#include "scenarios.h"

namespace {

// What a real installation of each family records about itself.
std::string VersionKeys(Family family)
{
    switch (family) {
    case Family::Windows98:
        return scenario::Section("Software\\Microsoft\\Windows\\CurrentVersion") +
               scenario::Text("VersionNumber", "4.10.2222");
    case Family::WindowsNt:
        return scenario::Section("Software\\Microsoft\\Windows NT\\CurrentVersion") +
               scenario::Text("CurrentVersion", "5.1") + scenario::Text("CurrentBuildNumber", "2600");
    default:
        return "";
    }
}

struct NativeRun {
    ProcessResult result;
    std::string root;
};

NativeRun RunNative(Family family, const std::string &registry, const std::vector<std::string> &args)
{
    std::string root = MakeTempDir("dorovivi-e2e");
    std::string file = "REGEDIT4\r\n" + VersionKeys(family) + registry;
    WriteFile(root + "/HKLM.reg", file);
    std::vector<std::string> argv = {DOROVIVI_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    NativeRun run = {RunProcess(argv, {"DOROVIVI_ROOT=" + root}), root};
    EXPECT_EQ(ReadFile(root + "/HKLM.reg"), file) << "the registry file must never change";
    return run;
}

class NativeScenario : public testing::TestWithParam<Scenario> {};

TEST_P(NativeScenario, AnswersAsDocumented)
{
    const Scenario &s = GetParam();
    NativeRun run = RunNative(s.family, s.registry, s.args);
    EXPECT_EQ(run.result.exitCode, s.exitCode);
    EXPECT_EQ(run.result.output, s.output);
    std::string atoms = ReadFile(run.root + "/atoms");
    EXPECT_EQ(atoms, s.atom != nullptr ? std::string("1 ") + s.atom + "\n" : "");
}

INSTANTIATE_TEST_SUITE_P(Table, NativeScenario, testing::ValuesIn(AllScenarios()), ScenarioName);

TEST(NativeOnly, UnknownFamilyFindsNoAdapter)
{
    using namespace scenario;
    NativeRun run = RunNative(Family::Unknown, Card98(CardOne, "Net\\0000", Adapter, "HomeNet") +
                                                   CardNt(1, Adapter, "NtNet"),
                              {"H"});
    EXPECT_EQ(run.result.exitCode, 2);
    EXPECT_EQ(run.result.output, "XXXXXX");
}

TEST(NativeOnly, AtomReferencesAccumulateAcrossRuns)
{
    std::string root = MakeTempDir("dorovivi-e2e");
    std::vector<std::string> env = {"DOROVIVI_ROOT=" + root};
    WriteFile(root + "/HKLM.reg", "REGEDIT4\r\n" + scenario::Companion("1"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(RunProcess({DOROVIVI_BINARY, "@"}, env).exitCode, 101);
    WriteFile(root + "/HKLM.reg", "REGEDIT4\r\n");
    EXPECT_EQ(RunProcess({DOROVIVI_BINARY, "@"}, env).exitCode, 100);
    EXPECT_EQ(ReadFile(root + "/atoms"), "3 PXM INSTALLED 1\n1 PXM INSTALLED 0\n");
}

TEST(NativeOnly, MissingOrUnwritableRootStillAnswers)
{
    std::vector<std::string> missing = {"DOROVIVI_ROOT=/nonexistent/dorovivi"};
    EXPECT_EQ(RunProcess({DOROVIVI_BINARY, "H"}, missing).output, "XXXXXX");
    EXPECT_EQ(RunProcess({DOROVIVI_BINARY, "@"}, missing).exitCode, 100);
}

TEST(NativeOnly, BundledExamplesAnswer)
{
    struct Case {
        const char *system;
        const char *command;
        int exitCode;
        const char *output;
    };
    const Case cases[] = {
        {"win98", "H", 0, "CampusNet"},
        {"win98", "@", 101, ""},
        {"nt", "H", 5, "LabNet"},
        {"nt", "@", 100, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.system) + " " + c.command);
        std::string root = MakeTempDir("dorovivi-example");
        WriteFile(root + "/HKLM.reg", ReadFile(std::string(DOROVIVI_EXAMPLES) + "/" + c.system + "/HKLM.reg"));
        ProcessResult result = RunProcess({DOROVIVI_BINARY, c.command}, {"DOROVIVI_ROOT=" + root});
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.output, c.output);
    }
}

} // namespace
