// A startup key file (.BEK): a metadata header as the volume's, then one
// external key entry, whose value is the key's identifier, a time and
// entries of its own: a description, the 32-byte key and (Windows 11) the
// volume's identifier.
#pragma once

#include <cstddef>

#include "platform/posix/base/fault.h"
#include "platform/posix/bitlocker/locked_secret.h"

const std::size_t FveExternalKeyGuidAt = 0;     // 16 bytes
const std::size_t FveExternalKeyEntriesAt = 24; // after the identifier and a FILETIME
const std::size_t FveExternalKeySize = 32;
const std::size_t FveExternalKeyFileMost = 4096; // Windows writes 156 or 180 bytes

// The key in the `size` bytes of a .BEK file, into `key`; false with
// `fault` saying what is wrong with the file.
bool ReadFveExternalKey(const unsigned char *bytes, std::size_t size, LockedSecret &key, Fault &fault);
