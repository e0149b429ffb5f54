// What a child that parses evidence gives up before it reads a byte of it:
// new privileges, every file but the ones it was given (Landlock), and the
// system calls that exec, create processes, open sockets, trace, change
// identity, mount, load modules or write files (seccomp). A kernel without
// one of them still gets the others; the report says which held.
#pragma once

#include <cstddef>

struct LockdownReport {
    bool noNewPrivileges = false;
    bool landlock = false;
    bool seccomp = false;
    int landlockAbi = 0;  // 0: none
    char missing[160] = {}; // "" when all held, else one line of what did not and why
};

// `readable`: files and folders the child may read (a folder with all below
// it); nothing else may be opened, and nothing anywhere written.
void LockDownChild(const char *const *readable, std::size_t count, LockdownReport &report);
