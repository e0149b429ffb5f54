#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include <string>
#include <vector>

#include "creg_writer.h"
#include "process_run.h"
#include "regf_writer.h"
#include "scenarios.h"
#include "windows_drives.h"

namespace {

// Each system is run as an emulation root's HKLM.reg and as the drive of
// an installation of its family; the answers must not differ.
enum class Form { RegFile, Drive98, DriveNt };

struct FormedScenario {
    Scenario scenario;
    Form form;
};

void PrintTo(const FormedScenario &s, std::ostream *os)
{
    *os << s.scenario.name;
}

std::string FormedName(const testing::TestParamInfo<FormedScenario> &info)
{
    const char *suffix[] = {"reg", "98drive", "ntdrive"};
    return ScenarioName({info.param.scenario, info.index}) + "_" + suffix[static_cast<int>(info.param.form)];
}

std::vector<FormedScenario> AllFormedScenarios()
{
    std::vector<FormedScenario> all;
    for (const Scenario &s : AllScenarios()) {
        all.push_back({s, Form::RegFile});
        if (s.family != Family::Unknown)
            all.push_back({s, s.family == Family::Windows98 ? Form::Drive98 : Form::DriveNt});
    }
    return all;
}

struct NativeRun {
    ProcessResult result;
    std::string atoms; // the atom table's content after the run
    std::string errors;
};

NativeRun RunNative(Family family, const std::string &registry, const std::vector<std::string> &args,
                    Form form = Form::RegFile)
{
    std::string root = MakeTempDir("dorovivi-e2e");
    std::string file = "REGEDIT4\r\n" + VersionKeys(family) + registry;
    std::vector<std::string> env = {"DOROVIVI_ROOT=" + root};
    std::string atoms = root + "/atoms";
    if (form == Form::RegFile) {
        WriteFile(root + "/HKLM.reg", file);
    } else {
        if (form == Form::Drive98)
            Write98Drive(root, file);
        else
            WriteNtDrive(root, file);
        std::string runtime = MakeTempDir("dorovivi-runtime");
        env.push_back("XDG_RUNTIME_DIR=" + runtime);
        atoms = runtime + "/dorovivi/atoms";
    }
    std::string before = form == Form::RegFile ? "" : Snapshot(root);
    std::vector<std::string> argv = {DOROVIVI_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string errors = MakeTempDir("dorovivi-stderr") + "/stderr";
    NativeRun run = {RunProcess(argv, env, errors), "", ReadFile(errors)};
    if (form == Form::RegFile)
        EXPECT_EQ(ReadFile(root + "/HKLM.reg"), file) << "the registry file must never change";
    else
        EXPECT_EQ(Snapshot(root), before) << "nothing may change on a Windows drive";
    run.atoms = ReadFile(atoms);
    return run;
}

class NativeScenario : public testing::TestWithParam<FormedScenario> {};

TEST_P(NativeScenario, AnswersAsDocumented)
{
    const Scenario &s = GetParam().scenario;
    NativeRun run = RunNative(s.family, s.registry, s.args, GetParam().form);
    EXPECT_EQ(run.result.exitCode, s.exitCode);
    EXPECT_EQ(run.result.output, s.output);
    EXPECT_EQ(run.atoms, s.atom != nullptr ? std::string("1 ") + s.atom + "\n" : "");
    EXPECT_EQ(run.errors, "") << "a registry that reads fine gives no message";
}

INSTANTIATE_TEST_SUITE_P(Table, NativeScenario, testing::ValuesIn(AllFormedScenarios()), FormedName);

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
