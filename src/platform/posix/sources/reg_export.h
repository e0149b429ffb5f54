#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/base/sha256.h"
#include "platform/posix/sources/reg_value_line.h"

// HKEY_LOCAL_MACHINE as importing one .reg file into an empty registry gives
// it. The text is kept whole; one pass lists its section headers and each
// path a header names or implies, chained by hash from a table small enough
// to stay in cache. Values are parsed only when asked for.
struct RegExport {
    struct Section {
        std::uint32_t pathBegin; // the path below HKLM, in `text`
        std::uint32_t pathLength;
        std::uint32_t bodyBegin;
        std::uint32_t bodyEnd;
        bool removal; // [-KEY]
    };
    // A path a header names, or one of its parents: the first `length` bytes
    // of the section's path. A parent is listed only where the header before
    // did not imply it already, and every header starts afresh after a removal.
    struct Name {
        std::uint32_t hash; // case-insensitive, of the path
        std::uint32_t section;
        std::uint32_t length;
        std::uint32_t older; // the bucket's previous name + 1, 0 for none
    };

    std::string_view text; // 8-bit (UTF-8) text, owned by `owned` or a mapping
    std::string owned;
    void *mapping = nullptr;
    std::size_t mappingSize = 0;
    bool unicodeText = false; // the file was UTF-16LE, and so is hex() data of string types
    bool hasRemovals = false;
    std::vector<Section> sections;      // in file order
    std::vector<Name> names;            // in file order
    std::vector<std::uint32_t> buckets; // newest name + 1 by hash, 0 for none

    RegExport() = default;
    RegExport(const RegExport &) = delete; // the index holds offsets into `text`
    RegExport &operator=(const RegExport &) = delete;
    ~RegExport();
};

// Builds the export from a file's bytes. An unknown header gives an empty export.
void LoadRegExport(std::string bytes, RegExport &exported);

// Builds the export from a file, mapped where it is 8-bit text and converted
// piecewise where it is UTF-16. A missing or unreadable file gives an empty
// export; so does one of 4 GiB or more, with a line on stderr. With
// `digest`, the SHA-256 of the very bytes parsed: the mapping the lookups
// read, or the pieces converted.
void LoadRegExportFile(const char *path, RegExport &exported, FileDigest *digest = nullptr);

// `path` is relative to HKLM, any case, without leading backslash.
bool RegExportKeyExists(const RegExport &exported, std::string_view path);

// Finds `name` ("" for the default value) of the key at `path`.
bool RegExportFindValue(const RegExport &exported, std::string_view path, std::string_view name, RegValueLine &value);
