// Decryption of one sector with the full volume key, by the volume's
// method: AES-CBC (with or without the Elephant diffuser), the IV being the
// sector's byte offset encrypted with the key; or AES-XTS, the tweak being
// the sector's number.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/posix/base/fault.h"
#include "platform/posix/bitlocker/crypto_functions.h"

struct SectorCipher {
    const CryptoFunctions *crypto = nullptr;
    std::uint16_t method = 0;
    std::size_t sectorSize = 0;
    EVP_CIPHER_CTX *data = nullptr;  // CBC or XTS
    EVP_CIPHER_CTX *iv = nullptr;    // CBC: ECB with the key, for the IV
    EVP_CIPHER_CTX *tweak = nullptr; // diffuser: ECB with the tweak key, for the sector key
};

// The key size `method` needs (at least, of what the metadata holds); 0
// where the method is not one this reader knows.
std::size_t SectorKeySize(std::uint16_t method);

// Sets `cipher` up for `method` with `key` (SectorKeySize bytes); false
// with `fault` where libcrypto refuses it.
bool StartSectorCipher(const CryptoFunctions *crypto, std::uint16_t method, const unsigned char *key,
                       std::size_t sectorSize, SectorCipher &cipher, Fault &fault);
// Decrypts in place the sector that lies at byte `offset` of the volume.
bool DecryptSector(SectorCipher &cipher, std::uint64_t offset, unsigned char *sector);
void StopSectorCipher(SectorCipher &cipher);
