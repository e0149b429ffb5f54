// GlobalAddAtomA over the system root's atom table file, which outlives the
// process as the Windows global atom table outlives a program.
#include "platform/posix/atom_table.h"
#include "platform/posix/system_root.h"
#include "platform/posix/win32_api.h"

ATOM WINAPI GlobalAddAtomA(LPCSTR lpString)
{
    return AddAtomToTable(SystemRootFile("atoms"), lpString);
}
