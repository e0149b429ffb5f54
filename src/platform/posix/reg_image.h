#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/posix/reg_value_line.h"

// HKEY_LOCAL_MACHINE as importing one .reg file into an empty registry gives
// it. The text is kept whole and indexed by key once; values are parsed when
// asked for.
struct RegImage {
    struct Section {
        std::uint32_t bodyBegin;
        std::uint32_t bodyEnd;
        std::int32_t previousOfKey; // the key's earlier section, or -1
    };
    struct Key {
        std::int32_t lastSection = -1;    // newest section of this key itself
        std::int32_t lastRemoval = -1;    // newest [-key]
        std::int32_t lastDescendant = -1; // newest section of this key or any below it
    };

    std::string text;       // 8-bit (UTF-8) text; key names lowercased in place
    bool unicodeHex = false; // hex() string data is UTF-16LE (version 5 files)
    std::vector<Section> sections; // in file order; the index is the order
    std::unordered_map<std::string_view, Key> keys; // lowercased paths below HKLM

    RegImage() = default;
    RegImage(const RegImage &) = delete; // the keys are views into `text`
    RegImage &operator=(const RegImage &) = delete;
};

// Builds the image from a file's bytes. An unknown header gives an empty image.
void LoadRegImage(std::string bytes, RegImage &image);

// `path` is relative to HKLM, any case, without leading backslash.
bool RegImageKeyExists(const RegImage &image, std::string_view path);

// Finds `name` ("" for the default value) of the key at `path`.
bool RegImageFindValue(const RegImage &image, std::string_view path, std::string_view name, RegValueLine &value);

// The process-wide image of the system root's HKLM.reg, read on first use.
const RegImage &SystemRegistry();

// Makes the next SystemRegistry() read the file again. The program never
// calls it; harnesses that run many systems in one process do.
void ForgetSystemRegistry();
