// Whether a hive is the one it is put in as: every SYSTEM hive from NT 3.51
// on holds Select and a ControlSetNNN at its root, every SOFTWARE hive a
// Microsoft key. A SAM, NTUSER.DAT or BCD hive holds neither.
#pragma once

#include <string>

#include "platform/posix/sources/reader_libraries.h"

// "" when it is; else "not a SYSTEM hive: ..." naming its root key and what
// the root holds, names escaped as the trace escapes them. `rootListed`
// false: hivex cannot list the root's keys, and "" is no judgement.
std::string RegfHiveKindProblem(const HivexFunctions *hivex, hive_h *handle, bool system, bool &rootListed);
