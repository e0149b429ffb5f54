#pragma once

#include <string>
#include <vector>

#include "platform/posix/root/installation.h"
#include "platform/posix/sources/hive_file_facts.h"
#include "platform/posix/sources/registry_source.h"

struct RegfHiveFile {
    int fd;                               // open read-only, taken over; -1 for one that could not be opened
    std::string name;                     // as messages name it
    const std::vector<RegistryLog> *logs; // the transaction logs beside it; null for none
    std::string unopened;                 // with fd -1: why it could not be opened ("Permission denied")
};

// HKLM of an offline NT installation from its SYSTEM and SOFTWARE hives, each
// replayed from its logs when dirty. Each hive answers for itself: one that
// cannot be read, or is of another kind, reads as an empty hive. What is to
// be said about each hive is said on stderr, one line each. Returns a source
// allocated with new (kept for the process), or nullptr when neither hive
// can be read (`problem` "") or hivex cannot be loaded (`problem` says so).
// `facts` gets one entry a hive, SYSTEM first.
RegistrySource *OpenRegfHiveSource(const RegfHiveFile &system, const RegfHiveFile &software,
                                   std::vector<HiveFileFacts> &facts, std::string &problem);

// The same without logs.
inline RegistrySource *OpenRegfHiveSource(int systemFd, const char *systemName, int softwareFd,
                                          const char *softwareName, std::string &problem)
{
    std::vector<HiveFileFacts> facts;
    return OpenRegfHiveSource(RegfHiveFile{systemFd, systemName, nullptr, ""},
                              RegfHiveFile{softwareFd, softwareName, nullptr, ""}, facts, problem);
}
