// The tool's own calls under Wine's relay trace: the registry only read, and
// no more calls than the search needs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process_run.h"
#include "relay_trace.h"
#include "scenarios.h"
#include "wine_prefix.h"

namespace {

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

class WineRelay : public WineBuildTest {};

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


} // namespace
