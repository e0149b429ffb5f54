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

// A started child: its pid, the read ends of its stdout and stderr, and of
// the pipe where a failed exec leaves its errno.
struct RunningChild {
    pid_t pid;
    int outFd;
    int errFd;
    int execFd;
};

// Starts `program` with `argv` and `environment`, no shell, stdin on
// /dev/null, the signal mask `childMask` and SIGPIPE at its default. On
// failure returns false with an errno value in `error`.
bool StartChild(const ToolProgram &program, const std::vector<std::string> &argv,
                const std::vector<std::string> &environment, const sigset_t &childMask, RunningChild &child,
                int &error);

// Waits for a child whose pipes are closed and tells how it ended.
ChildOutcome WaitChild(pid_t pid);

// After WaitChild: whether the program could not be run, with the errno the
// exec gave in `error`. Closes the child's exec pipe.
bool ExecFailed(RunningChild &child, int &error);
