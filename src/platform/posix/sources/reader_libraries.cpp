#include "platform/posix/sources/reader_libraries.h"

namespace {

// The soname the build was made against (Debian's libcreg1).
const char CregSoname[] = "libcreg.so.1";

CregFunctions Creg;
bool CregLoaded = false;

const char MspackSoname[] = "libmspack.so.0"; // Debian's libmspack0
MspackFunctions Mspack;
bool MspackLoaded = false;

} // namespace

const CregFunctions *CregLibrary(Fault &fault)
{
    return LoadReaderLibrary(CregSoname, Creg, CregLoaded, fault,
                             [](void *library, auto &functions) { return CREG_FUNCTIONS(BIND_READER_FUNCTION) true; });
}

const MspackFunctions *MspackLibrary(Fault &fault)
{
    const MspackFunctions *functions = LoadReaderLibrary(MspackSoname, Mspack, MspackLoaded, fault, [](void *library,
        auto &functions) { return MSPACK_FUNCTIONS(BIND_READER_FUNCTION) true; });
    // The library and this program must agree on the size of a file offset.
    if (functions != nullptr && functions->selftest(static_cast<int>(sizeof(off_t))) != MSPACK_ERR_OK) {
        fault = {"", std::string(MspackSoname) + " was built with another file offset size"};
        return nullptr;
    }
    return functions;
}
