// GlobalAddAtomA over an atom table file, which outlives the process as the
// Windows global atom table outlives a program.
#include "platform/posix/atom_location.h"
#include "platform/posix/atom_table.h"
#include "platform/posix/win32_api.h"

ATOM WINAPI GlobalAddAtomA(LPCSTR lpString)
{
    std::string table;
    if (!AtomTablePath(table))
        return 0;
    return AddAtomToTable(table, lpString);
}
