// The seccomp half of a child's lockdown: a filter that answers EPERM to the
// calls that exec, create processes, open sockets, trace, change identity,
// mount, load modules, or create, change or remove files, and to an open for
// writing; every other call (reads, memory, the pipe, exit) goes through.
#pragma once

// Installs the filter (no_new_privs must be set); false with errno when the
// kernel refused it.
bool FilterSystemCalls();

// How many calls the filter names, for the report.
int FilteredCallCount();
