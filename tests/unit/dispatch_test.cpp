#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_win32.h"
#include "release_text.h"
#include "run_command.h"

namespace {

struct DispatchCase {
    std::vector<std::string> args; // after the program name
    int exitCode;
    std::string output;
    bool commandRuns; // whether the command touched the system
};

int RunWith(const std::vector<std::string> &args, std::string &output)
{
    std::vector<std::string> words = {"dorovivi"};
    words.insert(words.end(), args.begin(), args.end());
    return DispatchWords(words, output);
}

TEST(Dispatch, ChoosesByLetterThenChecksShape)
{
    const std::string banner = ReleaseBanner();
    const DispatchCase cases[] = {
        {{}, 1, "", false},
        {{""}, 1, "", false},
        {{"v"}, 1, "", false},
        {{"h"}, 1, "", false},
        {{"-V"}, 1, "", false},
        {{"/H"}, 1, "", false},
        {{"X", "V"}, 1, "", false}, // the letter is judged before the count
        {{"XYZ"}, 1, "", false},
        {{"VV"}, 4, "", false},
        {{"Hx"}, 4, "", false},
        {{"@1"}, 4, "", false},
        {{"V", "V"}, 4, "", false},
        {{"H", ""}, 4, "", false},
        {{"@", "x"}, 4, "", false},
        {{"V"}, 0, banner, false},
        {{"H"}, 2, "XXXXXX", true},
        {{"@"}, 100, "", true},
    };
    for (const DispatchCase &c : cases) {
        std::string joined;
        for (const std::string &arg : c.args)
            joined += "[" + arg + "]";
        SCOPED_TRACE("arguments " + joined);
        fake::Reset();
        fake::SetPlatform(VER_PLATFORM_WIN32_NT);
        std::string output;
        EXPECT_EQ(RunWith(c.args, output), c.exitCode);
        EXPECT_EQ(output, c.output);
        EXPECT_EQ(!fake::Calls.empty(), c.commandRuns);
    }
}

} // namespace
