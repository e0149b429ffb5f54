#pragma once

#include <string>
#include <vector>

struct ProcessResult {
    int exitCode; // -1 when the process did not exit normally
    std::string output;
    bool timedOut = false; // killed when its time ran out
};

// Runs `argv` with `environment` added to this process's own and collects its
// standard output; standard error goes to `errorPath` when one is given. A
// run still going after `timeoutSeconds` is killed, so a hang fails its test
// instead of stopping the suite.
ProcessResult RunProcess(const std::vector<std::string> &argv, const std::vector<std::string> &environment,
                         const std::string &errorPath = "", unsigned timeoutSeconds = 600);

std::string MakeTempDir(const char *prefix);
void RemoveTree(const std::string &path);
std::string ReadFile(const std::string &path);
// The whole of an open file from its start, its offset left as it is.
std::string ReadDescriptor(int fd);
void WriteFile(const std::string &path, const std::string &content);

// Runs `argv` again with DOROVIVI_TRACE=- and says what is wrong with its
// stderr, "" when nothing: jq must read every line as one JSON event, and
// the "message" events' texts must be `plain`, what the run said without a
// trace, line by line.
std::string TracedStderrFault(const std::vector<std::string> &argv, std::vector<std::string> environment,
                              const std::string &plain);
