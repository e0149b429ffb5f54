// What a system root holds: the emulation's own HKLM.reg, or a Windows
// installation on a mounted drive or inside a disk image, chosen as
// DOROVIVI_WINDIR or the boot configuration names it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class InstallationKind {
    None,          // no registry found; `problem` says why
    EmulationRoot, // <root>/HKLM.reg
    Windows9x,     // <windir>/SYSTEM.DAT
    WindowsNt,     // <windir>/system32/config/SYSTEM and SOFTWARE
};

// A transaction log beside an NT hive in system32\config: NAME.LOG (old
// format), NAME.LOG1 and NAME.LOG2, in that order.
struct RegistryLog {
    std::string name;    // as messages name it
    int fd = -1;         // from an image, its bytes in memory; -1: opened by path
    std::string skipped; // why it could not be brought along (too big, unreadable); "" when there to read
};

constexpr std::size_t kRegistryLogsPerHive = 3;
// Windows keeps its logs far smaller; the whole log is read into memory.
constexpr std::uint64_t kRegistryLogLargest = 64ull << 20;

struct Installation {
    InstallationKind kind = InstallationKind::None;
    std::string registryFile; // HKLM.reg, SYSTEM.DAT, or the SYSTEM hive, as messages name it
    std::string softwareHive; // NT only
    // From an image the files come already open (their bytes in memory);
    // from a directory they are opened by path: -1.
    int registryFd = -1;
    int softwareFd = -1;
    std::vector<RegistryLog> systemLogs, softwareLogs; // NT only
    bool windowsFound = false; // some Windows installation is there, even if none was chosen
    std::string problem;       // one line for stderr when kind is None, else ""
};

// Closes the descriptors an installation from an image came with, its logs' too.
void CloseInstallationFiles(Installation &found);

// "dorovivi: <root>: <problem>; reading an empty registry"
std::string EmptyRegistryLine(const std::string &root, const std::string &problem);
