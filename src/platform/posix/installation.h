// What a system root holds: the emulation's own HKLM.reg, or a Windows
// installation on a mounted drive, found as its boot configuration names it.
#pragma once

#include <string>

enum class InstallationKind {
    None,          // no registry found; `problem` says why
    EmulationRoot, // <root>/HKLM.reg
    Windows9x,     // <windir>/SYSTEM.DAT
    WindowsNt,     // <windir>/system32/config/SYSTEM and SOFTWARE
};

struct Installation {
    InstallationKind kind = InstallationKind::None;
    std::string registryFile; // HKLM.reg, SYSTEM.DAT, or the SYSTEM hive
    std::string softwareHive; // NT only
    bool windowsFound = false; // some Windows installation is there, even if none was chosen
    std::string problem;       // one line for stderr when kind is None, else ""
};

// Looks at `root` (a directory path) once; reads at most a few KiB of boot
// configuration and never writes.
Installation FindInstallation(const std::string &root);

// The installation of the system root, looked up on first use and kept for
// the process.
const Installation &SystemInstallation();
void ForgetSystemInstallation();
