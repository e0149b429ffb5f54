#include "platform/posix/base/library_loading.h"

void *OpenReaderLibrary(const char *soname, Fault &fault)
{
    void *library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char *why = dlerror();
        fault = {"", std::string("cannot load ") + soname + " (" + (why != nullptr ? why : "not found") + ")"};
    }
    return library;
}
