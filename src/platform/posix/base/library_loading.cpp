#include "platform/posix/base/library_loading.h"

void *OpenReaderLibrary(const char *soname, std::string &problem)
{
    void *library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char *why = dlerror();
        problem = std::string("cannot load ") + soname + " (" + (why != nullptr ? why : "not found") + ")";
    }
    return library;
}
