#pragma once

#include <cstddef>

#include "platform/win32.h"

// Every read announces this capacity to the registry, whatever the
// destination's own size; the destination's size is checked separately.
const DWORD ValueReadLimit = 259;

// Reads one value of one key into `destination` as a NUL-terminated text.
// Returns 1 on success, 0 when the key or value cannot be read or the text
// (with its NUL) does not fit `capacity` bytes.
int ReadRegStringInto(HKEY root, const char *keyPath, const char *valueName, char *destination,
                      std::size_t capacity);

template <std::size_t N>
int ReadRegString(HKEY root, const char *keyPath, const char *valueName, char (&destination)[N])
{
    return ReadRegStringInto(root, keyPath, valueName, destination, N);
}
