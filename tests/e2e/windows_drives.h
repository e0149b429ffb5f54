// Windows installations of each family written into a directory, as the
// end-to-end tests run the tool over them.
#pragma once

#include <string>

#include "scenarios.h"

// What a real installation of each family records about itself, as .reg
// sections: XP, or with `wow64` XP x64 with the 64-bit view's mark.
std::string VersionKeys(Family family, bool wow64 = false);

// An NT 2000 drive: the hives under WINNT (names in the cases a copy may
// give them), boot.ini naming it, and a directory without a registry beside it.
void WriteNtDrive(const std::string &drive, const std::string &regText);

// A Windows 98 drive: SYSTEM.DAT in WINDOWS, MSDOS.SYS naming it (CR LF
// and the padding lines it carries), and an older copy elsewhere.
void Write98Drive(const std::string &drive, const std::string &regText);

// Every file below `dir` with its size, time and bytes, to show that a run
// wrote nothing (as root, permissions would not stop it).
std::string Snapshot(const std::string &dir);
