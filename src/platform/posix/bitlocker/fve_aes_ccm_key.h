// A key sealed with AES-CCM (256-bit key): a 12-byte nonce (a FILETIME and
// a counter), the 16-byte tag, then the sealed bytes, which open to a key
// entry of their own (head, method, key).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/posix/bitlocker/crypto_functions.h"
#include "platform/posix/bitlocker/locked_secret.h"

const std::size_t FveCcmNonceAt = 0;
const std::size_t FveCcmNonceSize = 12;
const std::size_t FveCcmTagAt = 12;
const std::size_t FveCcmTagSize = 16;
const std::size_t FveCcmSealedAt = 28;
const std::size_t FveCcmSealedMost = 1024; // far above the 64-byte keys Windows seals
const std::size_t FveCcmKeySize = 32;

// Opens the AES-CCM entry at [at, at + size) of `area` with `key`
// (FveCcmKeySize bytes) into `opened`: the key it holds, and its method.
// False where the tag does not match (a wrong key) or what opens is no key.
bool OpenFveSealedKey(const CryptoFunctions *crypto, const unsigned char *key, const unsigned char *area,
                      std::size_t at, std::size_t size, LockedSecret &opened, std::uint16_t &method);
