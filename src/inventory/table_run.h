#pragma once

#include <signal.h>

#include <cstddef>
#include <string>
#include <vector>

#include "inventory/child_runner.h"

// One line of the table: a root, or with --states one state of a root.
struct TableRow {
    const char *root;
    std::string state; // DOROVIVI_STATE for its runs; "" without --states
    std::string time;  // the state's, as listed
};

// What the runs behind the table need: "dorovivi H" and "dorovivi @" for
// every row, `jobs` runs at a time. With `listed`, the run lists: each row's
// one run is "dorovivi H" with DOROVIVI_STATE=list, and what it writes goes
// there, not to the table.
struct TableRun {
    ToolProgram program;
    std::vector<std::string> environment; // inherited, without the two variables set per run
    std::string scratch;                  // the private directory for the atom tables
    sigset_t childMask;                   // the signal mask the children start with
    sigset_t waitMask;                    // the mask while waiting, which lets the stop signals in
    std::vector<TableRow> rows;
    std::size_t jobs;
    std::vector<std::string> *listed = nullptr; // each row's output, when listing
};

// Set by the stop signals' handler: the table is given up.
extern volatile sig_atomic_t CaughtSignal;

// Prints the table, each line once it and all before it are complete, and
// passes the children's stderr on. 0, or 1 when standard output or the
// wait failed or a stop signal came; no child is left running either way.
int RunTable(const TableRun &run);
