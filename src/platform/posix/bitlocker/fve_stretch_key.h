// The stretch key value: the method and the salt with which a password or
// recovery password becomes the key that opens its protector's VMK, after
// a million rounds of SHA-256.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/posix/bitlocker/crypto_functions.h"

const std::size_t FveStretchMethodAt = 0; // u32
const std::size_t FveStretchSaltAt = 4;   // 16 bytes, then an entry (Vista: the sealed key)

const std::uint32_t FveStretchRounds = 0x100000;
const std::size_t FveHashSize = 32;
const std::size_t FveRecoveryKeySize = 16; // 8 groups, each a 16-bit value

// The 32-byte key from `initial` (the SHA-256 a password or recovery key
// begins as) and the protector's 16-byte salt.
bool StretchFveKey(const CryptoFunctions *crypto, const unsigned char *initial, const unsigned char *salt,
                   unsigned char *key);

// SHA-256 of `bytes`, and of that again where `twice` (as a password begins).
bool HashFveSecret(const CryptoFunctions *crypto, const unsigned char *bytes, std::size_t size, bool twice,
                   unsigned char *hash);
