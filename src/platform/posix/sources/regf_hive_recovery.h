// A dirty hive brought up to date from the transaction logs beside it. The
// primary is only read; the replay is an overlay of pages that the hive is
// read through, nothing copied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/base/fault.h"
#include "platform/posix/files/registry_file.h"
#include "platform/posix/sources/hive_file_facts.h"
#include "platform/posix/sources/regf/hive_replay.h"

// Windows keeps its logs far smaller; a log is read whole into memory.
constexpr std::uint64_t kRegistryLogLargest = 64ull << 20;

// Plans the replay of the primary whose first bytes are `head` (its base
// block) and whose size is `primarySize`. True when `replay` is the hive to
// read: the hive is dirty, its logs applied, and the base block they give
// passes the checks a primary goes through. A clean hive's logs are not
// read. `note` is what to say of the hive, which names itself, empty when
// nothing: "dirty hive; replayed ..." or "dirty hive, not replayed (why)".
bool RecoverRegfHive(const unsigned char *head, std::size_t headSize, std::uint64_t primarySize,
                     const std::vector<RegistryFile> &logs, HiveReplay &replay, HiveFileFacts &facts, Fault &note);

// The logs in `facts` gave a hive that cannot be read (`why`): `note` says
// they do not fit the primary, and none count as replayed.
void RegfReplayMisfit(const std::string &why, HiveFileFacts &facts, Fault &note);
