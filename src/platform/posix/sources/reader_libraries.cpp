#include "platform/posix/sources/reader_libraries.h"

namespace {

// The sonames the build was made against (Debian's libcreg1 and libhivex0).
const char CregSoname[] = "libcreg.so.1";
const char HivexSoname[] = "libhivex.so.0";

CregFunctions Creg;
HivexFunctions Hivex;
bool CregLoaded = false;
bool HivexLoaded = false;

} // namespace

const CregFunctions *CregLibrary(std::string &problem)
{
    return LoadReaderLibrary(CregSoname, Creg, CregLoaded, problem,
                             [](void *library, auto &functions) { return CREG_FUNCTIONS(BIND_READER_FUNCTION) true; });
}

const HivexFunctions *HivexLibrary(std::string &problem)
{
    return LoadReaderLibrary(HivexSoname, Hivex, HivexLoaded, problem,
                             [](void *library, auto &functions) { return HIVEX_FUNCTIONS(BIND_READER_FUNCTION) true; });
}
