#pragma once

#include <string>

#include "platform/posix/sources/registry_source.h"

// HKLM of an offline NT installation from its SYSTEM and SOFTWARE hives, open
// read-only as the two descriptors (taken over; -1 for one that could not be
// opened), named in messages as given. Returns a source allocated with new
// (kept for the process), or nullptr with `problem` naming the file and what
// is wrong.
RegistrySource *OpenRegfHiveSource(int systemFd, const char *systemName, int softwareFd, const char *softwareName,
                                   std::string &problem);
