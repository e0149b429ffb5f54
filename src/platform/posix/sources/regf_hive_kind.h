// Whether a hive is the one it is put in as: every SYSTEM hive from NT 3.51
// on holds Select and a ControlSetNNN at its root, every SOFTWARE hive a
// Microsoft key. A SAM, NTUSER.DAT or BCD hive holds neither.
#pragma once

#include <string>

#include "platform/posix/sources/regf/regf_key_node.h"

// "" when it is; else "not a SYSTEM hive: ..." naming its root key and what
// the root holds, names escaped as the trace escapes them. `rootListed`
// false: the root's keys cannot be listed (the fault stays in `hive`), and
// "" is no judgement.
std::string RegfHiveKindProblem(RegfReader &hive, const RegfKey &root, bool system, bool &rootListed);

// A stored name as UTF-8, a NUL inside kept; false on a fault.
bool RegfNameText(RegfReader &hive, const RegfName &name, std::string &text);
