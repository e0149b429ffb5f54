// Prints how many references the global atom table holds for the name given,
// and removes them all so that the next scenario starts from a clean table.
#include <windows.h>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2)
        return 2;
    int references = 0;
    // A safety bound: a table should never hold this many of one atom here.
    for (ATOM atom = GlobalFindAtomA(argv[1]); atom != 0 && references < 100000; atom = GlobalFindAtomA(argv[1])) {
        GlobalDeleteAtom(atom);
        ++references;
    }
    std::printf("%d", references);
    return 0;
}
