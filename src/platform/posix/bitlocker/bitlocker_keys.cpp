#include "platform/posix/bitlocker/bitlocker_keys.h"

#include <cstring>

#include "platform/posix/bitlocker/fve_external_key.h"
#include "platform/posix/bitlocker/fve_stretch_key.h"

namespace {

const char RecoveryPrefix[] = "recovery:";
const char PasswordPrefix[] = "password:";
const char StartupKeyPrefix[] = "bek:";
const int RecoveryGroups = 8;
const int RecoveryGroupDigits = 6;
const unsigned long RecoveryDivisor = 11;
const std::size_t PasswordUnitsMost = 256; // Windows allows far fewer

bool StartsWith(const char *line, std::size_t size, const char *prefix)
{
    std::size_t length = std::strlen(prefix);
    return size >= length && std::memcmp(line, prefix, length) == 0;
}

// 48 digits in 8 groups, each divisible by 11 and below 11 * 65536; each
// quotient is a 16-bit little-endian word of the recovery key.
bool ParseRecovery(const char *text, std::size_t size, unsigned char *key)
{
    std::size_t at = 0;
    for (int group = 0; group < RecoveryGroups; ++group) {
        if (group > 0 && at < size && text[at] == '-')
            ++at;
        unsigned long value = 0;
        for (int digit = 0; digit < RecoveryGroupDigits; ++digit, ++at) {
            if (at >= size || text[at] < '0' || text[at] > '9')
                return false;
            value = value * 10 + static_cast<unsigned long>(text[at] - '0');
        }
        if (value % RecoveryDivisor != 0 || value / RecoveryDivisor > 0xFFFF)
            return false;
        key[2 * group] = static_cast<unsigned char>(value / RecoveryDivisor);
        key[2 * group + 1] = static_cast<unsigned char>(value / RecoveryDivisor >> 8);
    }
    return at == size;
}

// UTF-8 to UTF-16LE units in `out` (room for PasswordUnitsMost); the count
// of bytes written, or 0 where the text is not UTF-8 or too long.
std::size_t PasswordUnits(const char *text, std::size_t size, unsigned char *out)
{
    std::size_t written = 0;
    for (std::size_t at = 0; at < size;) {
        unsigned char lead = static_cast<unsigned char>(text[at]);
        int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || size - at <= static_cast<std::size_t>(extra))
            return 0;
        unsigned long cp = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int i = 1; i <= extra; ++i) {
            unsigned char next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0) != 0x80)
                return 0;
            cp = cp << 6 | (next & 0x3F);
        }
        at += static_cast<std::size_t>(extra) + 1;
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
            return 0;
        unsigned long units[2] = {cp, 0};
        int count = 1;
        if (cp >= 0x10000) {
            units[0] = 0xD800 | ((cp - 0x10000) >> 10);
            units[1] = 0xDC00 | ((cp - 0x10000) & 0x3FF);
            count = 2;
        }
        for (int i = 0; i < count; ++i, written += 2) {
            if (written + 2 > 2 * PasswordUnitsMost)
                return 0;
            out[written] = static_cast<unsigned char>(units[i]);
            out[written + 1] = static_cast<unsigned char>(units[i] >> 8);
        }
    }
    return written;
}

bool ParseLine(const char *line, std::size_t size, BitLockerKey &key)
{
    if (StartsWith(line, size, RecoveryPrefix)) {
        key.kind = BitLockerKeyKind::RecoveryPassword;
        std::size_t skip = sizeof RecoveryPrefix - 1;
        return AllocateSecret(key.secret, FveRecoveryKeySize) &&
               ParseRecovery(line + skip, size - skip, key.secret.bytes);
    }
    if (StartsWith(line, size, PasswordPrefix)) {
        key.kind = BitLockerKeyKind::Password;
        std::size_t skip = sizeof PasswordPrefix - 1;
        if (!AllocateSecret(key.secret, 2 * PasswordUnitsMost))
            return false;
        key.secret.size = PasswordUnits(line + skip, size - skip, key.secret.bytes);
        return key.secret.size > 0;
    }
    if (StartsWith(line, size, StartupKeyPrefix) && size > sizeof StartupKeyPrefix - 1) {
        key.kind = BitLockerKeyKind::StartupKey;
        key.path.assign(line + sizeof StartupKeyPrefix - 1, size - (sizeof StartupKeyPrefix - 1));
        return true;
    }
    return false;
}

} // namespace

bool ParseBitLockerKeys(const char *text, std::size_t size, BitLockerKeys &keys, Fault &fault)
{
    int number = 0;
    for (std::size_t at = 0; at < size;) {
        const char *end = static_cast<const char *>(std::memchr(text + at, '\n', size - at));
        std::size_t length = (end != nullptr ? static_cast<std::size_t>(end - text) : size) - at;
        const char *line = text + at;
        at += length + 1;
        ++number;
        if (length > 0 && line[length - 1] == '\r')
            --length;
        if (length == 0 || line[0] == '#')
            continue;
        BitLockerKey key;
        key.line = number;
        if (!ParseLine(line, length, key)) {
            ReleaseSecret(key.secret);
            fault = {"", "line " + std::to_string(number) +
                             ": not a key (recovery: and 48 digits in groups divisible by 11, password: and UTF-8 "
                             "text, or bek: and a file)"};
            return false;
        }
        keys.keys.push_back(key);
    }
    return true;
}

bool SetStartupKeyFile(BitLockerKey &key, const unsigned char *bytes, std::size_t size, Fault &fault)
{
    return ReadFveExternalKey(bytes, size, key.secret, fault);
}

void WipeBitLockerKeys(BitLockerKeys &keys)
{
    for (BitLockerKey &key : keys.keys)
        ReleaseSecret(key.secret);
    keys.keys.clear();
}
