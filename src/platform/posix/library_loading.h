// Libraries this program uses only for some roots, loaded with dlopen when
// first needed, so that a start that does not need them loads nothing.
#pragma once

#include <dlfcn.h>

#include <string>

// dlopen of `soname`, or null with `problem` naming it and why.
void *OpenReaderLibrary(const char *soname, std::string &problem);

// Looks `name` up in `library` into `function`; false when it is missing.
template <typename Function>
bool BindReaderFunction(void *library, const char *name, Function &function)
{
    void *symbol = dlsym(library, name);
    function = reinterpret_cast<Function>(symbol);
    return symbol != nullptr;
}
