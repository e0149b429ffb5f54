// What a child that parses evidence gives up before it reads a byte of it:
// new privileges, every file but the ones it was given (Landlock), and the
// system calls that exec, create processes, open sockets, trace, change
// identity, mount, load modules or write files (seccomp). A kernel without
// one of them still gets the others; the report says which held.
#pragma once

#include <cstddef>

// DOROVIVI_SANDBOX: what the kernel offers (the default), nothing ("off"),
// or all of it, else no reading at all ("required").
enum class SandboxUse { Available, Off, Required };

struct LockdownReport {
    bool noNewPrivileges = false;
    bool landlock = false;
    bool seccomp = false;
    int landlockAbi = 0;  // 0: none
    char missing[160] = {}; // "" when all held, else one line of what did not and why
};

// A report that came through a pipe, from a child that may have been taken
// over: its flags read as false or true and its line ended, whatever its
// bytes were.
void MakeReportSound(LockdownReport &report);

// `readable`: files and folders the child may read (a folder with all below
// it); nothing else may be opened, and nothing anywhere written.
void LockDownChild(const char *const *readable, std::size_t count, LockdownReport &report);

// The same in two steps, for a child that must find files by names it reads
// (a disk's parent): before any content is read, no new privileges and the
// system call filter; once its files are open, Landlock.
void ForbidAllButReading(LockdownReport &report);
void ConfineReading(const char *const *readable, std::size_t count, LockdownReport &report);
