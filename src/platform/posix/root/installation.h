// What a system root holds: the emulation's own HKLM.reg, or a Windows
// installation on a mounted drive or inside a disk image, chosen as
// DOROVIVI_WINDIR or the boot configuration names it.
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
    std::string registryFile; // HKLM.reg, SYSTEM.DAT, or the SYSTEM hive, as messages name it
    std::string softwareHive; // NT only
    // From an image the files come already open (their bytes in memory);
    // from a directory they are opened by path: -1.
    int registryFd = -1;
    int softwareFd = -1;
    bool windowsFound = false; // some Windows installation is there, even if none was chosen
    std::string problem;       // one line for stderr when kind is None, else ""
};

// Closes the descriptors an installation from an image came with.
void CloseInstallationFiles(Installation &found);

// "dorovivi: <root>: <problem>; reading an empty registry"
std::string EmptyRegistryLine(const std::string &root, const std::string &problem);
