#include "platform/posix/bitlocker/fve_key_protector.h"

#include <cstdio>
#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/guid_text.h"
#include "platform/posix/bitlocker/fve_metadata_entry.h"
#include "platform/posix/bitlocker/fve_stretch_key.h"

bool ReadFveProtector(const unsigned char *area, std::size_t at, std::size_t size, FveProtector &protector)
{
    if (size < FveEntryHeadSize + FveProtectorEntriesAt)
        return false;
    const unsigned char *value = area + at + FveEntryHeadSize;
    std::memcpy(protector.guid, value + FveProtectorGuidAt, sizeof protector.guid);
    protector.protection = ReadLe16(value + FveProtectorProtectionAt);
    std::size_t begin = at + FveEntryHeadSize + FveProtectorEntriesAt, end = at + size;
    FveEntry entry;
    if (FindFveEntry(area, begin, end, FveValueStretchKey, entry) &&
        entry.size >= FveEntryHeadSize + FveStretchSaltAt + FveSaltSize) {
        protector.salted = true;
        std::memcpy(protector.salt, area + entry.at + FveEntryHeadSize + FveStretchSaltAt, FveSaltSize);
    }
    if (FindFveEntry(area, begin, end, FveValueAesCcmKey, entry)) {
        protector.sealedAt = entry.at;
        protector.sealedSize = entry.size;
    } else if (FindFveEntry(area, begin, end, FveValueUseKey, entry) &&
               entry.size > FveEntryHeadSize + FveUseKeyEntryAt) {
        // A startup key's VMK is sealed one level down.
        std::size_t inner = entry.at + FveEntryHeadSize + FveUseKeyEntryAt;
        FveEntry sealed;
        if (FindFveEntry(area, inner, entry.at + entry.size, FveValueAesCcmKey, sealed)) {
            protector.sealedAt = sealed.at;
            protector.sealedSize = sealed.size;
        }
    }
    if (FindFveEntry(area, begin, end, FveValueKey, entry) &&
        entry.size >= FveEntryHeadSize + FveKeyBytesAt + FveClearKeySize)
        protector.clearKeyAt = entry.at + FveEntryHeadSize + FveKeyBytesAt;
    return true;
}

std::string FveProtectionText(std::uint16_t protection)
{
    switch (protection) {
    case FveProtectionClearKey: return "clear key";
    case FveProtectionTpm: return "TPM";
    case FveProtectionStartupKey: return "startup key";
    case FveProtectionTpmAndPin: return "TPM and PIN";
    case FveProtectionRecoveryPassword: return "recovery password";
    case FveProtectionSmartCard: return "smart card";
    case FveProtectionPassword: return "password";
    default: break;
    }
    char text[24];
    std::snprintf(text, sizeof text, "unknown (0x%04X)", protection);
    return text;
}

std::string FveRecoveryKeyId(const FveProtector &protector)
{
    return protector.protection == FveProtectionRecoveryPassword ? BracedGuidText(protector.guid).substr(1, 8) : "";
}

std::string FveProtectorText(const FveProtector &protector)
{
    std::string id = FveRecoveryKeyId(protector);
    return FveProtectionText(protector.protection) + (id.empty() ? "" : " (key ID " + id + ")");
}
