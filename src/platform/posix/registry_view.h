// The registry as WOW64 shows it to a 32-bit program: on a 64-bit
// installation HKLM\Software\Wow6432Node stands in for HKLM\Software, except
// for the keys both views share.
#pragma once

#include <string>

enum class RegistryView {
    Native,      // a 32-bit installation: nothing is redirected
    Wow64Early,  // 64-bit, before 6.1: fewer keys shared
    Wow64,       // 64-bit, 6.1 and later
};

// Where a 32-bit program's open of `path` (below HKLM, as RegOpenKeyExA
// builds it) lands in `view`. A path that already names Wow6432Node is not
// redirected twice.
std::string PathInView(const std::string &path, RegistryView view);

// The same in the view of the system registry, which is looked at once per
// process (PROCESSOR_ARCHITECTURE of the installation, from its native view).
std::string PathInSystemView(const std::string &path);

// Makes the next PathInSystemView() look at the system registry again, for
// harnesses that run many systems in one process.
void ForgetSystemRegistryView();
