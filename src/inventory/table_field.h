#pragma once

#include <string>

// How one run of dorovivi ended, as the table shows it.
struct ChildOutcome {
    enum Kind { NotStarted, Exited, Signalled } kind;
    int value; // the exit code or the signal number
};

// Appends `bytes` so that no tab or line end of theirs can split the table:
// backslash, tab and newline become \\, \t and \n; every other byte stays.
void AppendEscaped(std::string &line, const std::string &bytes);

// The exit code, "signal N", or "-" when the program could not be started.
std::string OutcomeField(ChildOutcome outcome);
