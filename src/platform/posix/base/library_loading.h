// Libraries this program uses only for some roots, loaded with dlopen when
// first needed, so that a start that does not need them loads nothing.
#pragma once

#include <dlfcn.h>

#include <string>

#include "platform/posix/base/fault.h"

// dlopen of `soname`, or null with `fault` naming it and why. The words name
// the library themselves ("cannot load <soname> (...)"): the fault concerns
// what the caller was reading, which the caller names.
void *OpenReaderLibrary(const char *soname, Fault &fault);

// Looks `name` up in `library` into `function`; false when it is missing.
template <typename Function>
bool BindReaderFunction(void *library, const char *name, Function &function)
{
    void *symbol = dlsym(library, name);
    function = reinterpret_cast<Function>(symbol);
    return symbol != nullptr;
}

// A library's functions are listed once, as F(member, symbol) pairs of an
// X-macro: these declare each member and bind it into `functions`.
#define DECLARE_READER_FUNCTION(member, symbol) decltype(&symbol) member;
#define BIND_READER_FUNCTION(member, symbol) BindReaderFunction(library, #symbol, functions.member) &&

// `functions` from `soname`, bound by `bind` on first use and kept; null with
// `fault` set when the library or one of its functions is missing.
template <typename Functions, typename Bind>
const Functions *LoadReaderLibrary(const char *soname, Functions &functions, bool &loaded, Fault &fault, Bind bind)
{
    if (loaded)
        return &functions;
    void *library = OpenReaderLibrary(soname, fault);
    if (library == nullptr)
        return nullptr;
    loaded = bind(library, functions);
    if (!loaded) {
        fault = {"", std::string(soname) + " lacks a function this program uses"};
        return nullptr;
    }
    return &functions;
}
