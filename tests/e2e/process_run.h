#pragma once

#include <string>
#include <vector>

struct ProcessResult {
    int exitCode; // -1 when the process did not exit normally
    std::string output;
};

// Runs `argv` with `environment` added to this process's own and collects its
// standard output; standard error goes to `errorPath` when one is given.
ProcessResult RunProcess(const std::vector<std::string> &argv, const std::vector<std::string> &environment,
                         const std::string &errorPath = "");

std::string MakeTempDir(const char *prefix);
std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &content);
