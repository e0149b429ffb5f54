// Key names in a CREG file: one read through libcreg, and whether those at
// the top make the file a SYSTEM.DAT: the
// SYSTEM.DATs of Windows 95 and Me hold Config, Enum and System there (with
// hardware, Network, Software, ...); a USER.DAT holds none of the three
// (AppEvents, Control Panel, Network, Software, ...).
#pragma once

#include <string>
#include <vector>

#include "platform/posix/sources/reader_libraries.h"

// The key's name as stored, or false where libcreg cannot give it.
bool CregKeyName(const CregFunctions &creg, libcreg_key_t *key, std::string &name);

// "" when `names` (the top's key names, every one) fit a SYSTEM.DAT, else
// the problem, naming the keys found.
std::string NotSystemDatProblem(const std::vector<std::string> &names);
