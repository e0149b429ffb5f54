#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "inventory/table_field.h"

// The dorovivi program to run: the one beside this program, else the first
// on PATH.
struct ToolProgram {
    std::string path;
    bool searchPath;
};
ToolProgram FindToolProgram();

// A started child: its pid and the read ends of its stdout and stderr.
struct RunningChild {
    pid_t pid;
    int outFd;
    int errFd;
};

// Starts `program` with `argv` and `environment`, no shell, stdin on
// /dev/null, the signal mask `childMask` and SIGPIPE at its default. On
// failure returns false with an errno value in `error`.
bool StartChild(const ToolProgram &program, const std::vector<std::string> &argv,
                const std::vector<std::string> &environment, const sigset_t &childMask, RunningChild &child,
                int &error);

// Waits for a child whose pipes are closed and tells how it ended.
ChildOutcome WaitChild(pid_t pid);
