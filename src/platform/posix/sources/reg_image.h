#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/sources/reg_value_line.h"

// HKEY_LOCAL_MACHINE as importing one .reg file into an empty registry gives
// it. The text is kept whole and its section headers are indexed in one pass;
// values are parsed only when asked for.
struct RegImage {
    struct Section {
        std::uint32_t bodyBegin;
        std::uint32_t bodyEnd;
        std::uint32_t key;          // index in `keys` of the header's key
        std::int32_t previousOfKey; // the key's earlier section, or -1
        bool removal;               // [-KEY]
    };
    struct Key {
        std::uint32_t pathBegin; // the path below HKLM, in `text`
        std::uint32_t pathLength;
        std::uint32_t hash;
        std::int32_t lastSection; // newest section of the key itself, -1 if only implied
        std::int32_t lastRemoval; // newest [-key]
        bool live;                // named or implied by a key header, not only by removals
    };

    std::string_view text;   // 8-bit (UTF-8) text, owned by `owned` or a mapping
    std::string owned;
    void *mapping = nullptr;
    std::size_t mappingSize = 0;
    bool unicodeText = false;      // the file was UTF-16LE, and so is hex() data of string types
    bool hasRemovals = false;
    std::vector<Section> sections; // in file order; the index is the order
    std::vector<Key> keys;         // every key named or implied by a header
    std::vector<std::uint32_t> slots; // open-addressing table: key index + 1, 0 free

    RegImage() = default;
    RegImage(const RegImage &) = delete; // the index holds offsets into `text`
    RegImage &operator=(const RegImage &) = delete;
    ~RegImage();
};

// Builds the image from a file's bytes. An unknown header gives an empty image.
void LoadRegImage(std::string bytes, RegImage &image);

// Builds the image from a file, mapped where it is 8-bit text and converted
// piecewise where it is UTF-16. A missing or unreadable file gives an empty image.
void LoadRegImageFile(const char *path, RegImage &image);

// `path` is relative to HKLM, any case, without leading backslash.
bool RegImageKeyExists(const RegImage &image, std::string_view path);

// Finds `name` ("" for the default value) of the key at `path`.
bool RegImageFindValue(const RegImage &image, std::string_view path, std::string_view name, RegValueLine &value);
