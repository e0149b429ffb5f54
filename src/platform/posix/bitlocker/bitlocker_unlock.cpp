// The volume master key (VMK) a protector opens, then the full volume key
// (FVEK) the VMK opens.
#include "platform/posix/bitlocker/bitlocker_unlock.h"

#include "platform/posix/bitlocker/fve_aes_ccm_key.h"
#include "platform/posix/bitlocker/fve_external_key.h"
#include "platform/posix/bitlocker/fve_stretch_key.h"
#include "platform/posix/bitlocker/sector_cipher.h"

namespace {

std::uint16_t ProtectionFor(BitLockerKeyKind kind)
{
    switch (kind) {
    case BitLockerKeyKind::RecoveryPassword: return FveProtectionRecoveryPassword;
    case BitLockerKeyKind::Password: return FveProtectionPassword;
    default: return FveProtectionStartupKey;
    }
}

bool Usable(std::uint16_t protection)
{
    return protection == FveProtectionRecoveryPassword || protection == FveProtectionPassword ||
           protection == FveProtectionStartupKey;
}

// The key that opens a protector of the key's kind with `salt`: stretched
// from a password or recovery key, or a startup key as it is.
bool ProtectorKey(const CryptoFunctions *crypto, const BitLockerKey &key, const FveProtector &protector,
                  unsigned char *opener)
{
    if (key.kind == BitLockerKeyKind::StartupKey) {
        if (key.secret.size != FveExternalKeySize)
            return false;
        for (std::size_t i = 0; i < FveExternalKeySize; ++i)
            opener[i] = key.secret.bytes[i];
        return true;
    }
    unsigned char initial[FveHashSize];
    bool made = protector.salted &&
                HashFveSecret(crypto, key.secret.bytes, key.secret.size, key.kind == BitLockerKeyKind::Password,
                              initial) &&
                StretchFveKey(crypto, initial, protector.salt, opener);
    WipeBytes(initial, sizeof initial);
    return made;
}

bool OpenMasterKey(const CryptoFunctions *crypto, const FveMetadata &metadata, const BitLockerKeys &keys,
                   BitLockerUnlock &unlock, LockedSecret &masterKey)
{
    const unsigned char *block = metadata.block.data();
    std::uint16_t method = 0;
    for (std::size_t index = 0; index < metadata.protectors.size(); ++index) {
        const FveProtector &protector = metadata.protectors[index];
        if (protector.protection == FveProtectionClearKey && protector.clearKeyAt != 0 &&
            OpenFveSealedKey(crypto, block + protector.clearKeyAt, block, protector.sealedAt, protector.sealedSize,
                             masterKey, method)) {
            unlock.protector = static_cast<int>(index);
            return true;
        }
    }
    LockedSecret opener;
    if (!AllocateSecret(opener, FveCcmKeySize))
        return false;
    bool opened = false;
    for (std::size_t k = 0; k < keys.keys.size() && !opened; ++k) {
        const BitLockerKey &key = keys.keys[k];
        for (std::size_t index = 0; index < metadata.protectors.size() && !opened; ++index) {
            const FveProtector &protector = metadata.protectors[index];
            if (protector.protection != ProtectionFor(key.kind) || protector.sealedSize == 0 ||
                !ProtectorKey(crypto, key, protector, opener.bytes))
                continue;
            opened = OpenFveSealedKey(crypto, opener.bytes, block, protector.sealedAt, protector.sealedSize,
                                      masterKey, method);
            if (opened) {
                unlock.protector = static_cast<int>(index);
                unlock.keyLine = key.line;
            }
        }
    }
    ReleaseSecret(opener);
    return opened;
}

// Why no protector opened it, in words for the caller's line.
std::string WhyLocked(const FveMetadata &metadata, const BitLockerKeys &keys)
{
    std::string list;
    bool usable = false;
    for (const FveProtector &protector : metadata.protectors) {
        list += (list.empty() ? "" : ", ") + FveProtectorText(protector);
        usable = usable || Usable(protector.protection);
    }
    if (metadata.protectors.empty())
        return "locked by BitLocker, and its metadata lists no key protector";
    if (!usable)
        return "locked by BitLocker with protectors this program cannot use off its machine (" + list + ")";
    if (keys.keys.empty())
        return "locked by BitLocker and no key was given (its protectors: " + list + ")";
    return "locked by BitLocker and none of the " + std::to_string(keys.keys.size()) +
           " keys given opens it (its protectors: " + list + ")";
}

} // namespace

bool UnlockBitLockerVolume(const CryptoFunctions *crypto, const FveMetadata &metadata, const BitLockerKeys &keys,
                           BitLockerUnlock &unlock, LockedSecret &fullKey, Fault &fault)
{
    LockedSecret masterKey;
    if (!OpenMasterKey(crypto, metadata, keys, unlock, masterKey)) {
        fault = {"", WhyLocked(metadata, keys)};
        return false;
    }
    std::uint16_t method = 0;
    bool opened = masterKey.size == FveCcmKeySize &&
                  OpenFveSealedKey(crypto, masterKey.bytes, metadata.block.data(), metadata.fullKeyAt,
                                   metadata.fullKeySize, fullKey, method);
    ReleaseSecret(masterKey);
    if (!opened || fullKey.size < SectorKeySize(metadata.method)) {
        fault = {"", "its BitLocker full volume key does not open with the volume master key"};
        ReleaseSecret(fullKey);
        return false;
    }
    return true;
}
