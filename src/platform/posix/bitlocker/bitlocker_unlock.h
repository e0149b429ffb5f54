// Which key opens a BitLocker volume: a clear key where protection is
// suspended, else each key given, in order, against each protector of its
// kind.
#pragma once

#include <string>

#include "platform/posix/bitlocker/bitlocker_keys.h"
#include "platform/posix/bitlocker/crypto_functions.h"
#include "platform/posix/bitlocker/fve_metadata_read.h"

struct BitLockerUnlock {
    int protector = -1; // the protector that opened it, by index
    int keyLine = 0;    // the keys' line that did; 0 for a clear key
};

// The full volume key of `metadata` into `fullKey`; false with `fault`
// saying why not.
bool UnlockBitLockerVolume(const CryptoFunctions *crypto, const FveMetadata &metadata, const BitLockerKeys &keys,
                           BitLockerUnlock &unlock, LockedSecret &fullKey, Fault &fault);
