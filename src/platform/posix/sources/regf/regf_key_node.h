// Key nodes ("nk"): a key's name, times, class and where its subkey and value
// lists are.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/posix/sources/regf/regf_name.h"

constexpr std::size_t kRegfKeySignatureAt = 0; // "nk"
constexpr std::size_t kRegfKeyFlagsAt = 2;
constexpr std::size_t kRegfKeyLastWrittenAt = 4; // FILETIME
constexpr std::size_t kRegfKeySubkeyCountAt = 20;
constexpr std::size_t kRegfKeySubkeyListAt = 28;
constexpr std::size_t kRegfKeyValueCountAt = 36;
constexpr std::size_t kRegfKeyValueListAt = 40;
constexpr std::size_t kRegfKeyClassAt = 48;
constexpr std::size_t kRegfKeyNameSizeAt = 72;
constexpr std::size_t kRegfKeyClassSizeAt = 74;
constexpr std::size_t kRegfKeyNameAt = 76;
constexpr std::uint16_t kRegfKeyCompressedName = 0x0020;
constexpr unsigned kRegfDeepestKeyTree = 512; // levels Windows allows below a root

struct RegfKey {
    RegfCell cell;
    std::uint16_t flags = 0;
    std::uint64_t lastWritten = 0;
    std::uint32_t subkeyCount = 0;
    std::uint32_t subkeyList = 0;
    std::uint32_t valueCount = 0;
    std::uint32_t valueList = 0;
    std::uint32_t classCell = 0;
    std::uint16_t classSize = 0; // bytes of UTF-16LE
    RegfName name;
};

// The key node at `offset`, its name checked to lie in its cell.
bool RegfReadKey(RegfReader &hive, std::uint32_t offset, RegfKey &key);

// The key the base block names as the root.
bool RegfRootKey(RegfReader &hive, RegfKey &key);

// The key's class name as UTF-16LE: up to `capacity` bytes into `buffer`,
// `size` its whole length (0 when it has none).
bool RegfKeyClass(RegfReader &hive, const RegfKey &key, unsigned char *buffer, std::size_t capacity,
                  std::size_t &size);
