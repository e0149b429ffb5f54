// What the boot files at the top of a file system name: MSDOS.SYS's Windows
// directory and boot.ini's default entry.
#pragma once

#include <string>

#include "platform/posix/files/file_tree.h"

enum class BootDefault {
    None,
    ArcPath,    // "multi(0)disk(0)rdisk(0)partition(1)\WINNT"
    PreviousOs, // "C:\": the boot sector of the system before NT
};

struct BootConfig {
    bool hasWinDir = false;
    std::string winDir; // relative to the drive: "C:\WIN98" gives "\WIN98"
    std::string winDirAsWritten, winDirFile; // "C:\WIN98", and the MSDOS.SYS that says it (tree path)
    BootDefault bootDefault = BootDefault::None;
    int arcDisk = 0;      // rdisk(K); another disk when not 0
    int arcPartition = 0; // partition(N), counted from 1; 0 when absent
    std::string arcPath;  // the Windows directory after the ARC name
};

// Reads at most a few KiB of each file; a missing or unreadable one names nothing.
BootConfig ReadBootConfig(const FileTree &tree);

// "partition(N)\PATH" (any case, as boot.ini and DOROVIVI_WINDIR spell it):
// N and PATH, with the rest of an ARC name before it allowed. False when
// there is no partition(N).
bool ParseArcName(const std::string &name, int &disk, int &partition, std::string &path);
