// What is wrong with a hive file, in the format's own words: its base block
// checked before hivex sees it, and where hivex refuses one, its bins walked
// as hivex walks them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// "" when the base block is sound enough to hand to hivex, else why not.
// `head` holds the file's first bytes (up to a base block), `fileSize` its size.
std::string RegfBaseBlockFault(const unsigned char *head, std::size_t headSize, std::uint64_t fileSize);

// "" unless the file ends before the hive bins its base block declares.
std::string RegfHiveShortfall(const unsigned char *head, std::size_t headSize, std::uint64_t fileSize);

// The first fault in the bins and cells of the whole file `bytes`; "" when
// none is found. `pastEnd` tells a fault where the file ends too soon.
std::string RegfHiveBinsFault(const unsigned char *bytes, std::uint64_t size, bool &pastEnd);
