#include "platform/posix/bitlocker/crypto_functions.h"

namespace {

// The soname the build was made against (Debian's libssl3).
const char CryptoSoname[] = "libcrypto.so.3";

CryptoFunctions Crypto;
bool CryptoLoaded = false;

} // namespace

const CryptoFunctions *CryptoLibrary(Fault &fault)
{
    return LoadReaderLibrary(CryptoSoname, Crypto, CryptoLoaded, fault, [](void *library, auto &functions) {
        return CRYPTO_FUNCTIONS(BIND_READER_FUNCTION) true;
    });
}
