// What a system root holds: the emulation's own HKLM.reg, or a Windows
// installation on a mounted drive or inside a disk image, chosen as
// DOROVIVI_WINDIR or the boot configuration names it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/posix/files/registry_file.h"
#include "platform/posix/root/state_facts.h"
#include "platform/posix/sandbox/child_lockdown.h"

enum class InstallationKind {
    None,          // no registry found; `problem` says why
    EmulationRoot, // <root>/HKLM.reg
    Windows9x,     // <windir>/SYSTEM.DAT
    WindowsNt,     // <windir>/system32/config/SYSTEM and SOFTWARE
};

// Why a hive the installation lacks reads as empty, as its line says.
constexpr char kHiveMissing[] = "missing";

constexpr std::size_t kRegistryLogsPerHive = 3; // NAME.LOG (old format), NAME.LOG1, NAME.LOG2

struct Installation {
    InstallationKind kind = InstallationKind::None;
    RegistryFile registry; // HKLM.reg (by name only), SYSTEM.DAT, or the SYSTEM hive
    RegistryFile software; // NT only
    std::vector<RegistryFile> systemLogs, softwareLogs; // NT: the logs beside each hive, in that order
    bool windowsFound = false; // some Windows installation is there, even if none was chosen
    std::string problem;       // when kind is None, the line for PrintErrorLine; else ""
    bool readInChild = false;  // an image, read by a child of its own under `childLockdown`
    LockdownReport childLockdown;
    StateFacts state; // DOROVIVI_STATE's, when set
};

// "<root>: <why>; reading an empty registry", for PrintErrorLine
std::string EmptyRegistryLine(const std::string &root, const std::string &why);
