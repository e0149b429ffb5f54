// The keys a user gives for BitLocker volumes, one a line of a text file:
//   recovery:111111-222222-...   48 digits, dashes optional
//   password:text                UTF-8, kept as the UTF-16LE Windows hashes
//   bek:/path/to/KEY.BEK         a startup key file, which the caller reads
// Blank lines and lines starting with '#' are skipped. Secrets live in
// locked pages and are wiped by WipeBitLockerKeys; no message repeats one.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/posix/base/fault.h"
#include "platform/posix/bitlocker/locked_secret.h"

enum class BitLockerKeyKind { RecoveryPassword, Password, StartupKey };

struct BitLockerKey {
    BitLockerKeyKind kind = BitLockerKeyKind::Password;
    int line = 0;
    // The recovery key (16 bytes), the password as UTF-16LE, or the startup
    // key (32 bytes) once the caller has handed in its file.
    LockedSecret secret;
    std::string path; // a startup key's file, as written
};

struct BitLockerKeys {
    std::vector<BitLockerKey> keys;
};

// The keys in the `size` bytes of `text`, added to `keys`; false with
// `fault` naming the first line that is not one (its number, never its text).
bool ParseBitLockerKeys(const char *text, std::size_t size, BitLockerKeys &keys, Fault &fault);

// The `size` bytes of the .BEK file `key.path` names, read by the caller;
// false with `fault` where they hold no startup key.
bool SetStartupKeyFile(BitLockerKey &key, const unsigned char *bytes, std::size_t size, Fault &fault);

void WipeBitLockerKeys(BitLockerKeys &keys);
