// Windows installations of each family written into a directory, as the
// end-to-end tests run the tool over them.
#pragma once

#include <string>

#include "hive_log_writer.h"
#include "scenarios.h"

// One hive of an NT drive left dirty: the primary holds none of the keys
// the drive is written with (SYSTEM only Select and ControlSet001, SOFTWARE
// only Microsoft), its logs hold them all.
struct DirtyHive {
    HiveLogKind kind;
    HiveLogDamage damage = HiveLogDamage::None;
    bool sealed = false; // the primary clean after all: its logs are stale
};

// What a real installation of each family records about itself, as .reg
// sections: XP, or with `wow64` XP x64 with the 64-bit view's mark.
std::string VersionKeys(Family family, bool wow64 = false);

// An NT 2000 drive: the hives under WINNT (names in the cases a copy may
// give them), boot.ini naming it, and a directory without a registry beside it.
// With `dirty`, SYSTEM is the dirty hive when the keys reach into it, else
// SOFTWARE; its logs are named after it ("SYSTEM.LOG1", "software.LOG").
void WriteNtDrive(const std::string &drive, const std::string &regText, const DirtyHive *dirty = nullptr);

// A Windows 98 drive: SYSTEM.DAT in WINDOWS, MSDOS.SYS naming it (CR LF
// and the padding lines it carries), and an older copy elsewhere.
void Write98Drive(const std::string &drive, const std::string &regText);

// Every file below `dir` with its size, time and bytes, to show that a run
// wrote nothing (as root, permissions would not stop it).
std::string Snapshot(const std::string &dir);
