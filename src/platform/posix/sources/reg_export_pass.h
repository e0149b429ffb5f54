// The state of the pass over a .reg text that lists its section headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/posix/sources/reg_export_text.h"

// The previous header's path and the hash state at each of its backslashes:
// exports list keys in tree order, so most of a path was hashed just before,
// and its parents were listed just before.
struct PathHashes {
    std::string_view path;
    std::uint32_t cuts[256];
    std::uint32_t hashes[256];
    std::size_t depth = 0;
    std::string kept; // the path, once the buffer it was read into is refilled

    void Keep()
    {
        if (path.data() != kept.data())
            kept.assign(path.data(), path.size());
        path = kept;
    }
};

struct IndexState {
    PathHashes previous;
    bool inMachineSection = false;
};

// Indexes the headers in `length` bytes of text from offset `base`, where
// data[0] is a line end and every line is whole but the text's last. False
// where the import stops.
bool IndexLines(RegExport &exported, IndexState &state, const char *data, std::size_t base, std::size_t length);
