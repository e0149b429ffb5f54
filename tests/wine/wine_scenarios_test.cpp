// The scenario table run through dorovivi.exe under Wine, a real
// implementation of the registry, version and atom interfaces, in three
// versions of each Windows family and in a 64-bit Windows, with API-level
// checks from Wine's relay trace and of the executable's imports.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "process_run.h"
#include "scenarios.h"
#include "wine_prefix.h"

namespace {

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

} // namespace
