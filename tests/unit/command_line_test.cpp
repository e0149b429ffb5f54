#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line_cases.h"
#include "platform/windows/command_line.h"

namespace {

std::vector<std::string> Split(const char *line, std::size_t textSize, int argvSize, int &argc)
{
    std::vector<char> text(textSize);
    std::vector<char *> argv(argvSize, reinterpret_cast<char *>(1));
    argc = SplitCommandLine(line, text.data(), textSize, argv.data(), argvSize);
    std::vector<std::string> words;
    for (int i = 0; i < argc; ++i)
        words.push_back(argv[i]);
    EXPECT_EQ(argv[argc], nullptr);
    return words;
}

TEST(CommandLine, SplitsAsTheSystemCRuntime)
{
    for (const CommandLineCase &c : CommandLineCases) {
        SCOPED_TRACE(c.line);
        std::vector<std::string> expected;
        for (const char *const *word = c.argv; *word != nullptr; ++word)
            expected.push_back(*word);
        int argc = 0;
        EXPECT_EQ(Split(c.line, 256, 16, argc), expected);
        EXPECT_EQ(argc, static_cast<int>(expected.size()));
    }
}

TEST(CommandLine, StopsAtFullBuffers)
{
    int argc = 0;
    // Room for four pointers: three arguments and the null pointer.
    EXPECT_EQ(Split("p a b c d", 64, 4, argc), (std::vector<std::string>{"p", "a", "b"}));
    // Ten bytes: "prog", "VV" and "x" with their NULs, then the cut.
    EXPECT_EQ(Split("prog VV xyz w", 10, 16, argc), (std::vector<std::string>{"prog", "VV", "x"}));
    EXPECT_EQ(Split("prog V", 0, 16, argc), (std::vector<std::string>{}));
}

} // namespace
