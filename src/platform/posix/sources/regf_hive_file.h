// One NT hive file opened through hivex.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/sources/reader_libraries.h"
#include "platform/posix/sources/registry_source.h"

struct RegfHive {
    hive_h *handle = nullptr;
    std::string path;      // as messages name it
    std::string shortfall; // "cut short: ..." when the file ends before its declared bins
};

// Where a path below HKLM lies in an NT hive pair; node 0 for HKLM itself.
struct RegfKeyPlace {
    const RegfHive *hive = nullptr;
    hive_node_h node = 0;
    bool isRoot = false;
};

// The FILETIME the node records as its key's last write; false for node 0
// or where hivex cannot read it.
bool RegfNodeLastWrite(const HivexFunctions *hivex, const RegfKeyPlace &key, std::uint64_t &filetime);

// The subkeys of a node, named up to a NUL in a name as node_name gives them.
struct RegfChildList {
    struct Child {
        std::string name;
        hive_node_h node;
        mutable int whole; // -1 not asked yet, else whether the name is all there is (no NUL cut it)
    };
    bool readable = false;
    std::vector<Child> children;
};

// Lists `node`'s subkeys into `list`; false where hivex cannot list them,
// `unnamed` set where a subkey's name cannot be read (it is left out).
bool ListRegfChildren(const HivexFunctions *hivex, hive_h *handle, hive_node_h node, RegfChildList &list,
                      bool &unnamed);

// A key's whole name as hivex decodes it, NULs inside included (node_name
// alone ends at the first); false where hivex cannot read it.
bool RegfNodeName(const HivexFunctions *hivex, hive_h *handle, hive_node_h node, std::string &name);

// What the checks before hivex find wrong with the whole hive file `fd` (its
// base block, then its bins and cells); "" when nothing.
std::string RegfFileFault(int fd);

// Takes `fd` over; false with `problem` saying, in the format's words, what
// is wrong with the file (without its name).
bool OpenRegfHive(const HivexFunctions *hivex, int fd, const char *name, RegfHive &hive, std::string &problem);

// What RegQueryValueExA hands out for stored `raw` data of `type`: strings
// are stored UTF-16LE and come out in the 8-bit code page, ended by a NUL
// even where the stored data has none.
void DecodeRegfValue(DWORD type, std::string &raw, std::string &data);
