// Key material in pages of its own, locked in memory where the system lets
// us (so that it is not swapped out) and kept out of core dumps; wiped
// before the pages go back.
#pragma once

#include <cstddef>

struct LockedSecret {
    unsigned char *bytes = nullptr;
    std::size_t size = 0;     // the bytes in use
    std::size_t capacity = 0; // the bytes mapped
};

// `size` zeroed bytes in `secret` (released first where it held any); false
// where the pages cannot be had.
bool AllocateSecret(LockedSecret &secret, std::size_t size);
// Copies `size` bytes (at most its size) into `secret`.
void CopySecret(LockedSecret &secret, const unsigned char *bytes, std::size_t size);
// Wipes and returns the pages; `secret` is empty after.
void ReleaseSecret(LockedSecret &secret);
// Zeroes `size` bytes in a way the compiler cannot leave out.
void WipeBytes(void *bytes, std::size_t size);
