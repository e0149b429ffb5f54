// Which Windows installations a file system holds: a Windows directory has
// SYSTEM.DAT (95/98/Me) or system32\config\SYSTEM and SOFTWARE (NT).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/posix/files/file_tree.h"
#include "platform/posix/root/installation.h"

struct Candidate {
    InstallationKind kind;
    std::size_t volume;       // of the volumes looked at
    std::string dir;          // tree paths, as found
    std::string registryFile; // SYSTEM.DAT or the SYSTEM hive
    std::string softwareHive; // NT only; where it was looked for when missing
    std::vector<std::string> systemLogs, softwareLogs; // NT: the logs beside each hive, tree paths
    bool softwareMissing = false; // NT: SYSTEM alone, as a triage copy often is
    std::vector<std::string> notes; // a registry file with a twin in another case: which of them is read
};

// A system32\config with SOFTWARE and no SYSTEM: no installation, but what a
// message names when nothing else is found.
struct HalfInstallation {
    std::size_t volume;
    std::string config;  // tree path, as found
};

// The file `name` (in any case) among `entries`, the listing of `dir`: its
// path, or false where there is none or it is a folder.
bool FindFile(const std::vector<TreeEntry> &entries, const std::string &dir, std::string_view name, std::string &path);

// HIVE.LOG, HIVE.LOG1 and HIVE.LOG2 among `entries`, the listing of `dir`, in any case.
std::vector<std::string> FindLogs(const std::vector<TreeEntry> &entries, const std::string &dir,
                                  const std::string &hive);

// The installations whose Windows directory is `dir`; `half`, when given,
// gets its config directory holding SOFTWARE alone.
void AddInstallationsIn(const FileTree &tree, std::size_t volume, const std::string &dir, std::vector<Candidate> &found,
                        std::vector<HalfInstallation> *half = nullptr);

// The top itself when it is a Windows directory, else each directory at the top.
void ScanForInstallations(const FileTree &tree, std::size_t volume, std::vector<Candidate> &found,
                          std::vector<HalfInstallation> *half = nullptr);
