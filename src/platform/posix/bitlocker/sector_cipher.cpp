#include "platform/posix/bitlocker/sector_cipher.h"

#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/bitlocker/elephant_diffuser.h"
#include "platform/posix/bitlocker/fve_metadata_header.h"
#include "platform/posix/bitlocker/locked_secret.h"

namespace {

const std::size_t BlockSize = 16;
// With the diffuser the key holds 32 bytes for the data key, then the tweak key.
const std::size_t DiffuserTweakKeyAt = 32;
const std::size_t DiffuserKeySize = 64;
const unsigned char SectorKeySecondHalf = 0x80; // set in the top byte for the sector key's second half

bool Is256(std::uint16_t method)
{
    return method == FveMethodAesCbc256Diffuser || method == FveMethodAesCbc256 || method == FveMethodAesXts256;
}

bool IsDiffuser(std::uint16_t method)
{
    return method == FveMethodAesCbc128Diffuser || method == FveMethodAesCbc256Diffuser;
}

bool IsXts(std::uint16_t method)
{
    return method == FveMethodAesXts128 || method == FveMethodAesXts256;
}

void LittleEndian128(std::uint64_t value, unsigned char *block)
{
    std::memset(block, 0, BlockSize);
    WriteLe64(block, value);
}

EVP_CIPHER_CTX *StartCipher(const CryptoFunctions *crypto, const EVP_CIPHER *kind, const unsigned char *key,
                            bool encrypt)
{
    EVP_CIPHER_CTX *ctx = crypto->cipher_new();
    if (ctx == nullptr)
        return nullptr;
    int started = encrypt ? crypto->encrypt_init(ctx, kind, nullptr, key, nullptr)
                          : crypto->decrypt_init(ctx, kind, nullptr, key, nullptr);
    if (started != 1 || crypto->set_padding(ctx, 0) != 1) {
        crypto->cipher_free(ctx);
        return nullptr;
    }
    return ctx;
}

bool EncryptBlock(const CryptoFunctions *crypto, EVP_CIPHER_CTX *ctx, const unsigned char *in, unsigned char *out)
{
    int length = 0;
    return crypto->encrypt_update(ctx, out, &length, in, BlockSize) == 1 && length == BlockSize;
}

} // namespace

std::size_t SectorKeySize(std::uint16_t method)
{
    if (IsDiffuser(method))
        return DiffuserKeySize;
    if (IsXts(method))
        return Is256(method) ? 64 : 32;
    if (method == FveMethodAesCbc128 || method == FveMethodAesCbc256)
        return Is256(method) ? 32 : 16;
    return 0;
}

bool StartSectorCipher(const CryptoFunctions *crypto, std::uint16_t method, const unsigned char *key,
                       std::size_t sectorSize, SectorCipher &cipher, Fault &fault)
{
    cipher.crypto = crypto;
    cipher.method = method;
    cipher.sectorSize = sectorSize;
    bool wide = Is256(method);
    if (IsXts(method)) {
        cipher.data = StartCipher(crypto, wide ? crypto->aes_256_xts() : crypto->aes_128_xts(), key, false);
    } else {
        cipher.data = StartCipher(crypto, wide ? crypto->aes_256_cbc() : crypto->aes_128_cbc(), key, false);
        cipher.iv = StartCipher(crypto, wide ? crypto->aes_256_ecb() : crypto->aes_128_ecb(), key, true);
        if (IsDiffuser(method))
            cipher.tweak = StartCipher(crypto, wide ? crypto->aes_256_ecb() : crypto->aes_128_ecb(),
                                       key + DiffuserTweakKeyAt, true);
    }
    if (cipher.data == nullptr || (!IsXts(method) && cipher.iv == nullptr) ||
        (IsDiffuser(method) && cipher.tweak == nullptr)) {
        StopSectorCipher(cipher);
        fault = {"", "libcrypto refuses the volume's key"};
        return false;
    }
    return true;
}

bool DecryptSector(SectorCipher &cipher, std::uint64_t offset, unsigned char *sector)
{
    const CryptoFunctions *crypto = cipher.crypto;
    unsigned char position[BlockSize], iv[BlockSize];
    int length = 0, size = static_cast<int>(cipher.sectorSize);
    if (IsXts(cipher.method)) {
        LittleEndian128(offset / cipher.sectorSize, iv);
    } else {
        LittleEndian128(offset, position);
        if (!EncryptBlock(crypto, cipher.iv, position, iv))
            return false;
    }
    if (crypto->decrypt_init(cipher.data, nullptr, nullptr, nullptr, iv) != 1 ||
        crypto->decrypt_update(cipher.data, sector, &length, sector, size) != 1 || length != size)
        return false;
    if (!IsDiffuser(cipher.method))
        return true;
    unsigned char sectorKey[2 * BlockSize];
    LittleEndian128(offset, position);
    bool keyed = EncryptBlock(crypto, cipher.tweak, position, sectorKey);
    position[BlockSize - 1] = SectorKeySecondHalf;
    keyed = keyed && EncryptBlock(crypto, cipher.tweak, position, sectorKey + BlockSize);
    UndoElephantDiffusers(sector, cipher.sectorSize);
    for (std::size_t i = 0; i < cipher.sectorSize; ++i)
        sector[i] ^= sectorKey[i % sizeof sectorKey];
    WipeBytes(sectorKey, sizeof sectorKey);
    return keyed;
}

void StopSectorCipher(SectorCipher &cipher)
{
    // EVP_CIPHER_CTX_free cleanses the key schedules it held.
    if (cipher.crypto != nullptr) {
        cipher.crypto->cipher_free(cipher.data);
        cipher.crypto->cipher_free(cipher.iv);
        cipher.crypto->cipher_free(cipher.tweak);
    }
    cipher.data = cipher.iv = cipher.tweak = nullptr;
}
