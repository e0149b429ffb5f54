// A volume master key entry: one key protector. Its value is the
// protector's identifier, when it was changed and how it protects the
// volume master key (VMK), then entries of its own: the salt (stretch key),
// the VMK sealed with AES-CCM, a clear key, a description.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

const std::size_t FveProtectorGuidAt = 0;        // 16 bytes
const std::size_t FveProtectorModifiedAt = 16;   // u64 FILETIME
const std::size_t FveProtectorProtectionAt = 26; // u16
const std::size_t FveProtectorEntriesAt = 28;    // its own entries

const std::uint16_t FveProtectionClearKey = 0x0000;
const std::uint16_t FveProtectionTpm = 0x0100;
const std::uint16_t FveProtectionStartupKey = 0x0200;
const std::uint16_t FveProtectionTpmAndPin = 0x0500;
const std::uint16_t FveProtectionRecoveryPassword = 0x0800;
const std::uint16_t FveProtectionSmartCard = 0x1000;
const std::uint16_t FveProtectionPassword = 0x2000;

const std::size_t FveSaltSize = 16;
const std::size_t FveClearKeySize = 32;

// One protector, as found in the metadata area it was read from.
struct FveProtector {
    unsigned char guid[16] = {};
    std::uint16_t protection = 0;
    bool salted = false;
    unsigned char salt[FveSaltSize] = {};
    std::size_t sealedAt = 0, sealedSize = 0; // the AES-CCM entry; size 0 where none
    std::size_t clearKeyAt = 0;               // the clear key's bytes; 0 where none
};

// The protector in the volume master key entry at [at, at + size) of
// `area`; false where the entry is too short for its fixed fields.
bool ReadFveProtector(const unsigned char *area, std::size_t at, std::size_t size, FveProtector &protector);

// How Windows names the protection ("recovery password"; "unknown (0x0300)").
std::string FveProtectionText(std::uint16_t protection);
// A recovery password's key ID, as its recovery screen shows it: the first
// eight hex digits of the protector's identifier ("64311DEA"); else "".
std::string FveRecoveryKeyId(const FveProtector &protector);
// How a protector reads in a list: "recovery password 64311DEA", "password".
std::string FveProtectorText(const FveProtector &protector);
