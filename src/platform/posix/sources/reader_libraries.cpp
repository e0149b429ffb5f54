#include "platform/posix/sources/reader_libraries.h"

namespace {

// The soname the build was made against (Debian's libcreg1).
const char CregSoname[] = "libcreg.so.1";

CregFunctions Creg;
bool CregLoaded = false;

} // namespace

const CregFunctions *CregLibrary(Fault &fault)
{
    return LoadReaderLibrary(CregSoname, Creg, CregLoaded, fault,
                             [](void *library, auto &functions) { return CREG_FUNCTIONS(BIND_READER_FUNCTION) true; });
}
