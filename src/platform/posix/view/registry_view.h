// The registry as WOW64 shows it to a 32-bit program: on a 64-bit
// installation HKLM\Software\Wow6432Node stands in for HKLM\Software, except
// for the keys both views share.
#pragma once

#include <string>

#include "platform/posix/sources/registry_source.h"

enum class RegistryView {
    Native,      // a 32-bit installation: nothing is redirected
    Wow64Early,  // 64-bit, before 6.1: fewer keys shared
    Wow64,       // 64-bit, 6.1 and later
};

// Where a 32-bit program's open of `path` (below HKLM, as RegOpenKeyExA
// builds it) lands in `view`. A path that already names Wow6432Node is not
// redirected twice.
std::string PathInView(const std::string &path, RegistryView view);

// Whether an open of `path` can land elsewhere in any view: only paths
// below HKLM\Software can.
bool PathMayBeRedirected(const std::string &path);

// The view a 32-bit program has of `source`: PROCESSOR_ARCHITECTURE of its
// native view, and its CurrentVersion for which keys are shared.
RegistryView ViewOfRegistry(const RegistrySource &source);
