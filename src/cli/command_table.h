#pragma once

// Chooses the command by the first argument's letter and runs it; the result
// is the process exit code.
int DispatchCommand(int argc, char *argv[]);
