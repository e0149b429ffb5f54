// The program's entry point on Windows, in place of a C runtime's startup:
// split the command line, dispatch, end the process with the answer.
#include <windows.h>

#include "cli/command_table.h"
#include "platform/windows/command_line.h"

namespace {

// Windows hands a process at most 32767 characters of command line, and the
// split texts never take more than that plus one NUL. Only the first two
// arguments and their count matter to the dispatch; 64 keeps "more than
// one argument" true for any longer list.
char ArgumentText[32768];
char *Arguments[64];

} // namespace

extern "C" void mainCRTStartup()
{
    int argc = SplitCommandLine(GetCommandLineA(), ArgumentText, sizeof ArgumentText, Arguments,
                                sizeof Arguments / sizeof Arguments[0]);
    ExitProcess(static_cast<UINT>(DispatchCommand(argc, Arguments)));
}
