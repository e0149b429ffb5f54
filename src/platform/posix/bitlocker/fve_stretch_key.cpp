#include "platform/posix/bitlocker/fve_stretch_key.h"

#include "platform/posix/base/byte_order.h"
#include "platform/posix/bitlocker/locked_secret.h"

namespace {

// What each round hashes: the last digest, the first, the salt and the
// round's number (u64 little-endian), 88 bytes.
const std::size_t RoundLastAt = 0;
const std::size_t RoundInitialAt = 32;
const std::size_t RoundSaltAt = 64;
const std::size_t RoundCountAt = 80;
const std::size_t RoundSize = 88;

} // namespace

bool HashFveSecret(const CryptoFunctions *crypto, const unsigned char *bytes, std::size_t size, bool twice,
                   unsigned char *hash)
{
    SHA256_CTX ctx;
    bool hashed = crypto->sha256_init(&ctx) == 1 && crypto->sha256_update(&ctx, bytes, size) == 1 &&
                  crypto->sha256_final(hash, &ctx) == 1;
    if (hashed && twice)
        hashed = crypto->sha256_init(&ctx) == 1 && crypto->sha256_update(&ctx, hash, FveHashSize) == 1 &&
                 crypto->sha256_final(hash, &ctx) == 1;
    WipeBytes(&ctx, sizeof ctx);
    return hashed;
}

bool StretchFveKey(const CryptoFunctions *crypto, const unsigned char *initial, const unsigned char *salt,
                   unsigned char *key)
{
    unsigned char round[RoundSize] = {};
    for (std::size_t i = 0; i < FveHashSize; ++i)
        round[RoundInitialAt + i] = initial[i];
    for (std::size_t i = 0; i < 16; ++i)
        round[RoundSaltAt + i] = salt[i];
    SHA256_CTX ctx;
    bool stretched = true;
    for (std::uint64_t count = 0; stretched && count < FveStretchRounds; ++count) {
        WriteLe64(round + RoundCountAt, count);
        stretched = crypto->sha256_init(&ctx) == 1 && crypto->sha256_update(&ctx, round, RoundSize) == 1 &&
                    crypto->sha256_final(round + RoundLastAt, &ctx) == 1;
    }
    for (std::size_t i = 0; i < FveHashSize; ++i)
        key[i] = round[RoundLastAt + i];
    WipeBytes(round, sizeof round);
    WipeBytes(&ctx, sizeof ctx);
    return stretched;
}
