#include "platform/posix/bitlocker/bitlocker_volume.h"

#include <cstdio>

#include "platform/posix/bitlocker/bitlocker_reader.h"
#include "platform/posix/bitlocker/bitlocker_unlock.h"
#include "platform/posix/bitlocker/fve_block_header.h"
#include "platform/posix/base/guid_text.h"
#include "platform/posix/bitlocker/fve_metadata_header.h"

namespace {

// The methods as Windows names them (manage-bde's "Encryption Method").
const char *MethodName(std::uint16_t method)
{
    switch (method) {
    case FveMethodNone: return "none";
    case FveMethodAesCbc128Diffuser: return "AES 128 with Diffuser";
    case FveMethodAesCbc256Diffuser: return "AES 256 with Diffuser";
    case FveMethodAesCbc128: return "AES 128";
    case FveMethodAesCbc256: return "AES 256";
    case FveMethodAesXts128: return "XTS-AES 128";
    case FveMethodAesXts256: return "XTS-AES 256";
    default: return nullptr;
    }
}

std::string StateName(std::uint16_t state)
{
    switch (state) {
    case FveStateDecrypted: return "decrypted";
    case FveStateSwitching: return "converting";
    case FveStateEncrypted: return "encrypted";
    case FveStatePaused: return "paused";
    default: return "state " + std::to_string(state);
    }
}

std::string Hex16(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

void DescribeVolume(const FveMetadata &metadata, BitLockerVolume &volume)
{
    volume.guid = BracedGuidText(metadata.guid);
    volume.description = metadata.description;
    const char *method = MethodName(metadata.method);
    volume.method = method != nullptr ? method : "unknown (" + Hex16(metadata.method) + ")";
    volume.state = StateName(metadata.state);
    for (const FveProtector &protector : metadata.protectors) {
        BitLockerProtectorFacts facts;
        facts.guid = BracedGuidText(protector.guid);
        facts.kind = FveProtectionText(protector.protection);
        facts.keyId = FveRecoveryKeyId(protector);
        volume.suspended = volume.suspended || protector.protection == FveProtectionClearKey;
        volume.protectors.push_back(facts);
    }
}

} // namespace

bool IsBitLockerVolume(const unsigned char *sector)
{
    return ReadFveVolumeHeader(sector).kind != FveHeaderKind::None;
}

bool OpenBitLockerVolume(VolumeRead read, void *lower, std::uint64_t size, const BitLockerKeys &keys,
                         BitLockerVolume &volume, Fault &fault)
{
    volume = BitLockerVolume();
    BitLockerReader *reader = new BitLockerReader;
    reader->lower = {lower, read, size};
    reader->chunk.resize(BitLockerChunk);
    volume.reader = reader;
    unsigned char sector[FveSectorSize];
    FveMetadata &metadata = reader->metadata;
    if (!ReadVolumeBytes(reader->lower, 0, sector, sizeof sector)) {
        fault = {"", "its first sector cannot be read"};
    } else if (ReadFveMetadata(reader->lower, sector, metadata, fault)) {
        DescribeVolume(metadata, volume);
        volume.decrypted = metadata.version == FveBlockVersionSeven && metadata.encryptedSize == 0;
        volume.size = size / metadata.header.sectorSize * metadata.header.sectorSize;
        reader->encrypted = !volume.decrypted;
        // A decrypted volume still hides what of its EOW blocks could be read.
        bool eowRead =
            !metadata.header.encryptOnWrite || ReadFveEow(reader->lower, metadata.header, reader->eow, fault);
        if (volume.decrypted)
            return true;
        const CryptoFunctions *crypto = nullptr;
        BitLockerUnlock unlock;
        // Where the EOW blocks could not be read, `fault` already says so.
        if (eowRead && SectorKeySize(metadata.method) == 0) {
            fault = {"", "encrypted by BitLocker with a method this program does not know (" + volume.method + ")"};
        } else if (eowRead && (crypto = CryptoLibrary(fault)) != nullptr &&
                   UnlockBitLockerVolume(crypto, metadata, keys, unlock, reader->fullKey, fault) &&
                   StartSectorCipher(crypto, metadata.method, reader->fullKey.bytes, metadata.header.sectorSize,
                                     reader->cipher, fault)) {
            volume.unlockedBy = unlock.protector;
            volume.keyLine = unlock.keyLine;
            reader->plainBoot = !reader->eow.present && BootSectorsLieInPlain(*reader);
            return true;
        }
    }
    CloseBitLockerVolume(volume);
    volume.why = fault.words;
    return false;
}

void CloseBitLockerVolume(BitLockerVolume &volume)
{
    BitLockerReader *reader = static_cast<BitLockerReader *>(volume.reader);
    if (reader != nullptr) {
        StopSectorCipher(reader->cipher);
        ReleaseSecret(reader->fullKey);
        delete reader;
    }
    volume.reader = nullptr;
    volume.size = 0;
}
