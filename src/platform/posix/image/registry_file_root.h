// A registry file named where a disk was meant: the hive, SYSTEM.DAT or
// export itself instead of the drive, image or folder holding it.
#pragma once

#include <cstddef>

// The first bytes of a root with no partition table and no file system
// read as a registry file: what it is and what to name instead, or null
// when they are no registry file's.
const char *RegistryFileInsteadOfDisk(const unsigned char *head, std::size_t size);
