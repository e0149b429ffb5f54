// One hive of an NT pair made ready for reading cell by cell: replayed from
// its logs when dirty, its base block and root key checked, and checked for
// what it is.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/posix/base/cached_file_bytes.h"
#include "platform/posix/files/registry_file.h"
#include "platform/posix/sources/hive_file_facts.h"
#include "platform/posix/sources/regf/hive_replay.h"
#include "platform/posix/sources/regf/regf_hive_bytes.h"
#include "platform/posix/sources/regf/regf_key_node.h"

struct NtHive {
    std::string name;                       // as messages name it
    std::shared_ptr<const FileBytes> file;  // the primary, only read
    HiveReplay replay;                      // when replayed, the pages read over the primary
    std::shared_ptr<OverlayHiveBytes> overlay;
    std::shared_ptr<CachedFileBytes> cached; // what the reader reads: the primary or the overlay
    RegfReader reader;
    RegfKey root;
    bool open = false;
    bool damageSaid = false; // one line a hive; a hive cut short has had it
};

// `system`: it goes in as SYSTEM, else as SOFTWARE. What is to be said on
// stderr goes to `lines` ("<name>: ...", one a line). False when the hive is
// refused: it cannot be opened or read, or is of another kind; its one line
// then ends "; read as an empty hive", what was to be said of it folded in.
bool OpenNtHive(const RegistryFile &file, const std::vector<RegistryFile> &logs, bool system, NtHive &hive,
                HiveFileFacts &facts, std::vector<std::string> &lines);
