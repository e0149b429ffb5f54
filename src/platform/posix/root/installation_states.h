// The states an installation's registry was kept in: the current one, and
// the copies Windows made of it (System Restore's restore points, ScanReg's
// cabinets, Setup's and the repair tools' copies), each with a stable name
// and the time it was taken.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/files/file_tree.h"
#include "platform/posix/root/installation_lookup.h"

// Restore points lie in <vol>\System Volume Information\_restore{GUID}\RPn,
// cabinets in <windir>\SYSBCKUP\RBnnn.CAB, copies in repair\, *.sav,
// system.alt and SYSTEM.DA0.
struct InstallationState {
    std::string name;        // "current", "rp:12", "scanreg:RB002", "copy:repair"
    std::uint64_t time = 0;  // FILETIME; 0 when none is known
    const char *timeFrom = "none"; // "rp.log", "cabinet", "hive", "none"
    Candidate files;         // as the current installation's: the registry file (or the cabinet), SOFTWARE, logs
    std::string member;      // the cabinet's member that is SYSTEM.DAT; "" when not a cabinet
    std::string description; // a restore point's, as its rp.log has it
    long pointType = -1;     // a restore point's type; -1 for other kinds
    std::string note;        // what is said when it is read (a damaged rp.log, where its time came from instead)
    std::string unusable;    // why it cannot be read at all; "" when it can
    // A state with a file tree of its own (a shadow copy, read as an image
    // layer) has its files as paths in it; no lookup here makes one.
    const FileTree *tree = nullptr; // null: the installation's
};

// Every state of `current` (found in `tree`), in the order found.
std::vector<InstallationState> FindInstallationStates(const FileTree &tree, const Candidate &current);
