#include "platform/posix/bitlocker/fve_aes_ccm_key.h"

#include "platform/posix/base/byte_order.h"
#include "platform/posix/bitlocker/fve_metadata_entry.h"

namespace {

bool Unseal(const CryptoFunctions *crypto, const unsigned char *key, const unsigned char *value, int sealedSize,
            unsigned char *plain)
{
    EVP_CIPHER_CTX *ctx = crypto->cipher_new();
    int length = 0;
    // The tag is set before the key; the total length is given first, as CCM needs it.
    bool opened = ctx != nullptr && crypto->decrypt_init(ctx, crypto->aes_256_ccm(), nullptr, nullptr, nullptr) == 1 &&
                  crypto->cipher_ctrl(ctx, EVP_CTRL_AEAD_SET_IVLEN, FveCcmNonceSize, nullptr) == 1 &&
                  crypto->cipher_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, FveCcmTagSize,
                                      const_cast<unsigned char *>(value + FveCcmTagAt)) == 1 &&
                  crypto->decrypt_init(ctx, nullptr, nullptr, key, value + FveCcmNonceAt) == 1 &&
                  crypto->decrypt_update(ctx, nullptr, &length, nullptr, sealedSize) == 1 &&
                  crypto->decrypt_update(ctx, plain, &length, value + FveCcmSealedAt, sealedSize) == 1;
    crypto->cipher_free(ctx);
    return opened;
}

} // namespace

bool OpenFveSealedKey(const CryptoFunctions *crypto, const unsigned char *key, const unsigned char *area,
                      std::size_t at, std::size_t size, LockedSecret &opened, std::uint16_t &method)
{
    if (size < FveEntryHeadSize + FveCcmSealedAt + FveEntryHeadSize + FveKeyBytesAt ||
        size - FveEntryHeadSize - FveCcmSealedAt > FveCcmSealedMost)
        return false;
    std::size_t sealedSize = size - FveEntryHeadSize - FveCcmSealedAt;
    LockedSecret plain;
    if (!AllocateSecret(plain, sealedSize))
        return false;
    bool found = Unseal(crypto, key, area + at + FveEntryHeadSize, static_cast<int>(sealedSize), plain.bytes);
    FveEntry entry;
    found = found && ReadFveEntry(plain.bytes, sealedSize, 0, entry) && entry.value == FveValueKey &&
            entry.size > FveEntryHeadSize + FveKeyBytesAt;
    if (found) {
        const unsigned char *value = plain.bytes + FveEntryHeadSize;
        method = static_cast<std::uint16_t>(ReadLe32(value + FveKeyMethodAt));
        std::size_t keySize = entry.size - FveEntryHeadSize - FveKeyBytesAt;
        found = AllocateSecret(opened, keySize);
        if (found)
            CopySecret(opened, value + FveKeyBytesAt, keySize);
    }
    ReleaseSecret(plain);
    return found;
}
