#pragma once

#include <string>

#include "platform/posix/sources/registry_source.h"

// HKLM of an offline NT installation from its SYSTEM and SOFTWARE hives, both
// opened read-only. Returns a source allocated with new (kept for the
// process), or nullptr with `problem` naming the file and what is wrong.
RegistrySource *OpenRegfHiveSource(const char *systemPath, const char *softwarePath, std::string &problem);
