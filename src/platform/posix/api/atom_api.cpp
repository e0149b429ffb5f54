// GlobalAddAtomA over an atom table file, which outlives the process as the
// Windows global atom table outlives a program.
#include "platform/posix/atoms/atom_table.h"
#include "platform/posix/base/trace_line.h"
#include "platform/posix/base/win32_api.h"
#include "platform/posix/system/emulated_system.h"

ATOM WINAPI GlobalAddAtomA(LPCSTR lpString)
{
    StartEmulatedSystem();
    std::string table;
    bool hasTable = SystemAtomTablePath(table);
    ATOM atom = hasTable ? AddAtomToTable(table, lpString) : 0;
    if (Tracing()) {
        TraceLine line("atom");
        line.Text("name", lpString != nullptr ? lpString : "");
        if (hasTable)
            line.Text("table", table);
        else
            line.Null("table");
        line.Number("result", atom).Write(); // 0: not added
    }
    return atom;
}
