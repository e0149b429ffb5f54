#pragma once

#include "inventory/table_run.h"

// --states: lists each root's states (one run of "dorovivi H" with
// DOROVIVI_STATE=list a root), then runs the table with a row per state,
// its name and time after the root. A root that lists none keeps one row,
// as "current", so that its runs say why.
int RunStateTable(TableRun &run);
