// A BitLocker volume, read decrypted through a callback of the same shape
// as a disk's: what the metadata says of it, which protector opened it (or
// why none did), and its sectors as Windows shows them once unlocked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/base/fault.h"
#include "platform/posix/bitlocker/bitlocker_keys.h"
#include "platform/posix/base/lower_volume.h"

struct BitLockerProtectorFacts {
    std::string guid;  // "{3E55195C-8811-4D9B-97B4-2B9E5F8F5384}"
    std::string kind;  // "password", "recovery password", "startup key", "clear key", "TPM", "smart card"...
    std::string keyId; // a recovery password's key ID, as its recovery screen shows it ("64311DEA"); else ""
};

struct BitLockerVolume {
    // Facts, filled as far as the metadata could be read, also when opening fails.
    std::string guid;        // the volume's identifier
    std::string description; // as Windows wrote it: computer, drive and date
    std::string method;      // "XTS-AES 128", "AES 256 with Diffuser"...; "none" where decrypted
    std::string state;       // "encrypted", "paused"...
    bool suspended = false;  // a clear key: protection suspended, no key needed
    bool decrypted = false;  // nothing encrypted: read as it lies
    std::vector<BitLockerProtectorFacts> protectors;
    int unlockedBy = -1;     // the protector that opened it, by index; -1 where none did or was needed
    int keyLine = 0;         // the keys' line that opened it; 0 where none
    std::string why;         // why it stays locked; "" once open
    // The volume as read, for ReadBitLockerVolume: what lies under it, and its size.
    std::uint64_t size = 0;
    void *reader = nullptr;
};

// Whether `sector` (a volume's first 512 bytes) is a BitLocker volume header.
bool IsBitLockerVolume(const unsigned char *sector);

// Opens the BitLocker volume read by `read` from `lower` (`size` bytes),
// trying `keys` in order against its protectors (a clear key needs none).
// False with `fault` where it is not BitLocker's, its metadata cannot be
// read, or no key opens it; `volume`'s facts still say what was read.
bool OpenBitLockerVolume(VolumeRead read, void *lower, std::uint64_t size, const BitLockerKeys &keys,
                         BitLockerVolume &volume, Fault &fault);

// Reads `size` bytes at `offset` of the decrypted volume (a BitLockerVolume
// *); the count read (short at its end), -1 where the volume under it fails.
ssize_t ReadBitLockerVolume(void *volume, std::uint64_t offset, char *buffer, std::size_t size);

// Wipes the volume's keys and frees what reading it took.
void CloseBitLockerVolume(BitLockerVolume &volume);
