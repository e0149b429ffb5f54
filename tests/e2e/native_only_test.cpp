// Runs over exports alone: no family, atoms over several runs, no root, and
// the bundled examples.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "native_run.h"

namespace {

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
        const char *snapshot = nullptr; // DOROVIVI_SNAPSHOT: an export has none, and says so
    };
    const Case cases[] = {
        {"win98", "H", 0, "CampusNet"},
        {"win98", "@", 101, ""},
        {"nt", "H", 5, "LabNet"},
        {"nt", "@", 100, ""},
        {"nt", "H", 5, "LabNet", "Before"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.system) + " " + c.command);
        std::string root = MakeTempDir("dorovivi-example");
        WriteFile(root + "/HKLM.reg", ReadFile(std::string(DOROVIVI_EXAMPLES) + "/" + c.system + "/HKLM.reg"));
        std::vector<std::string> env = {"DOROVIVI_ROOT=" + root};
        if (c.snapshot != nullptr)
            env.push_back(std::string("DOROVIVI_SNAPSHOT=") + c.snapshot);
        ProcessResult result = RunProcess({DOROVIVI_BINARY, c.command}, env, root + ".err");
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.output, c.output);
        EXPECT_EQ(ReadFile(root + ".err"), c.snapshot == nullptr ? "" : "dorovivi: " + root + ": DOROVIVI_SNAPSHOT=Before names a "
                                 "snapshot of a virtual machine's configuration; this root is an export, read as it is\n");
    }
}

} // namespace
