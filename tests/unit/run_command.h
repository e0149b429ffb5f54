#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/command_table.h"

// Dispatches a whole command line (program name first) and collects what it
// printed.
inline int DispatchWords(std::vector<std::string> words, std::string &output)
{
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    int code = DispatchCommand(static_cast<int>(words.size()), argv.data());
    output = testing::internal::GetCapturedStdout();
    return code;
}
