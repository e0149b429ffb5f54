// GlobalAddAtomA over an atom table file, which outlives the process as the
// Windows global atom table outlives a program.
#include "platform/posix/atoms/atom_table.h"
#include "platform/posix/base/win32_api.h"
#include "platform/posix/system/emulated_system.h"

ATOM WINAPI GlobalAddAtomA(LPCSTR lpString)
{
    std::string table;
    if (!SystemAtomTablePath(table))
        return 0;
    return AddAtomToTable(table, lpString);
}
