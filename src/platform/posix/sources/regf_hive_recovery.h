// A dirty hive brought up to date from the transaction logs beside it before
// hivex reads it: the primary is only read, the recovered hive lives in a
// memory file.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/root/installation.h"
#include "platform/posix/sources/hive_file_facts.h"

// The replayed hive in memory for the hive open as `fd` (the primary, only
// read; it stays open and the caller's), or -1 when hivex is to read the
// primary: the hive is clean (its logs are then not read), cannot be
// replayed, or what the replay gives fails the checks a primary goes
// through. `note` is what to say of it after "<name>: ", "" when nothing:
// "dirty hive; replayed ...", "dirty hive, not replayed (why)" or the
// misfit below. `given` may be null for no logs; their own descriptors stay open.
int RecoverRegfHive(int fd, const std::string &name, const std::vector<RegistryLog> *given, HiveFileFacts &facts,
                    std::string &note);

// The logs in `facts` gave a hive that cannot be read (`fault`): `note`
// says they do not fit the primary, and none count as replayed.
void RegfReplayMisfit(const std::string &fault, HiveFileFacts &facts, std::string &note);
