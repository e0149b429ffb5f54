// One hive of an NT pair made ready for reading: replayed from its logs when
// dirty, opened through hivex, checked for what it is.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/root/installation.h"
#include "platform/posix/sources/hive_file_facts.h"
#include "platform/posix/sources/regf_hive_file.h"

// Takes `fd` over (the logs' descriptors stay open; `logs` null for none). `system`: it goes in as
// SYSTEM, else as SOFTWARE. What is to be said on stderr goes to `lines`
// ("<name>: ...", one a line). False, with nothing open, when the hive is
// refused: hivex cannot read it or it is of another kind; its one line then
// ends "; read as an empty hive", what was to be said of it folded in.
bool OpenNtHive(const HivexFunctions *hivex, int fd, const std::string &name, const std::vector<RegistryLog> *logs,
                bool system, RegfHive &hive, HiveFileFacts &facts, std::vector<std::string> &lines);
