// libldm trusts a dynamic disk's metadata: it walks the database's records
// until one lacks its magic, reads a record's variable-length fields without
// its bounds, and sizes arrays from counts as stored (a huge one aborts the
// process). These checks hold a disk's metadata to what libldm can read
// safely before it is handed any of it.
#pragma once

#include <cstddef>
#include <string>

// The private header of `size` bytes (a sector): false with `why` where
// libldm would misread it, or where the database it places (`configStart`,
// `configSize`, in bytes) is not within `diskSize` and a sane size.
bool CheckPrivhead(const unsigned char *privhead, std::size_t size, std::size_t sectorSize,
                   unsigned long long diskSize, unsigned long long &configStart, unsigned long long &configSize,
                   std::string &why);

// The database, `size` bytes: false with `why` where libldm would read
// outside it or allocate what the database cannot hold.
bool CheckLdmDatabase(const unsigned char *config, std::size_t size, std::size_t sectorSize, std::string &why);
