// What is wrong with a hive file, in the format's own words, found without a
// walk: its base block, and its size against the one the block declares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// "" when the base block is sound enough to read cells by, else why not.
// `head` holds the file's first bytes (up to a base block), `fileSize` its size.
std::string RegfBaseBlockFault(const unsigned char *head, std::size_t headSize, std::uint64_t fileSize);

// "" unless the file ends before the hive bins its base block declares.
std::string RegfHiveShortfall(const unsigned char *head, std::size_t headSize, std::uint64_t fileSize);
