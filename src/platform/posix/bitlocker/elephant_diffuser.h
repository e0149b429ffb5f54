// The Elephant diffuser of Vista-era BitLocker ("AES-CBC with diffuser"):
// two keyless mixes of a sector's 32-bit words, undone after AES-CBC on
// reading, before the sector key is XORed back out.
#pragma once

#include <cstddef>

// Undoes diffuser B, then diffuser A, on the `size` bytes (a multiple of 4,
// at least 32) of `sector`.
void UndoElephantDiffusers(unsigned char *sector, std::size_t size);
