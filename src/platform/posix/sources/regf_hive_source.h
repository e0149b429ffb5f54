#pragma once

#include <vector>

#include "platform/posix/files/registry_file.h"
#include "platform/posix/sources/hive_file_facts.h"
#include "platform/posix/sources/registry_source.h"

// HKLM of an offline NT installation from its SYSTEM and SOFTWARE hives, each
// replayed from its logs when dirty and read cell by cell from its root key.
// Each hive answers for itself: one that cannot be read, or is of another
// kind, reads as an empty hive. What is to be said about each hive is said on
// stderr, one line each. Returns a source allocated with new (kept for the
// process), or nullptr when neither hive can be read. `facts` gets one entry
// a hive, SYSTEM first.
RegistrySource *OpenRegfHiveSource(const RegistryFile &system, const std::vector<RegistryFile> &systemLogs,
                                   const RegistryFile &software, const std::vector<RegistryFile> &softwareLogs,
                                   std::vector<HiveFileFacts> &facts);
