// A dirty hive brought up to date from the transaction logs beside it before
// hivex reads it: the primary is only read, the recovered hive lives in a
// memory file.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/root/installation.h"
#include "platform/posix/sources/hive_file_facts.h"

// What hivex is to read for the hive open as `fd` (taken over): `fd` itself
// when the hive is clean (its logs are then not read) or cannot be replayed,
// else the replayed hive in memory. `note` is what to say of it after
// "<name>: ", "" when nothing: "dirty hive; replayed ..." or "dirty hive, not
// replayed (why)". `given` may be null for no logs; their own descriptors stay open.
int RecoverRegfHive(int fd, const std::string &name, const std::vector<RegistryLog> *given, HiveFileFacts &facts,
                    std::string &note);
