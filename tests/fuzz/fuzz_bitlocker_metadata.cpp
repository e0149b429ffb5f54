// Any bytes as a BitLocker metadata copy: placed three times in a small
// volume behind an encrypt-on-write volume header, its CRC-32 made to match
// (and from byte 0x800 on, the EOW information, its first bitmap at 0xA00
// with its CRC-32s made to match likewise), and
// opened with a startup key (no stretching, so that each run is quick; a
// clear key opens it too). The layer must refuse with one line or read the
// whole volume within it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/bitlocker/bitlocker_volume.h"
#include "platform/posix/bitlocker/fve_eow_bitmap.h"
#include "platform/posix/bitlocker/fve_eow_bitmap_record.h"
#include "platform/posix/bitlocker/fve_eow_information.h"
#include "platform/posix/bitlocker/fve_validation.h"
#include "platform/posix/bitlocker/fve_volume_header.h"

namespace {

const std::size_t VolumeSize = 0x48000;
const std::uint64_t CopyAt[3] = {0x10000, 0x20000, 0x30000};
const std::size_t CopyMost = 0x10000 - 8;
const std::size_t EowAt = 0x800, BitmapAt = 0xA00; // in the copy

// Sets the CRC-32 at `crcAt` of the `size` bytes at `at` of `copy`, where they fit.
void FixCrc(unsigned char *copy, std::size_t at, std::size_t size, std::size_t crcAt)
{
    if (size >= crcAt + 4 && size <= CopyMost - at)
        WriteLe32(copy + at + crcAt, FveCrc32Without(copy + at, size, crcAt));
}

ssize_t ReadMemory(void *volume, std::uint64_t offset, char *buffer, std::size_t size)
{
    const std::vector<unsigned char> &bytes = *static_cast<std::vector<unsigned char> *>(volume);
    if (offset > bytes.size() || bytes.size() - offset < size)
        std::abort(); // the layer reads only within the size it was given
    std::memcpy(buffer, bytes.data() + offset, size);
    return static_cast<ssize_t>(size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<unsigned char> volume(VolumeSize, 0);
    unsigned char *header = volume.data();
    std::memcpy(header + FveSignatureAt, FveSignature, FveSignatureSize);
    header[FveBytesPerSectorAt + 1] = 2; // 512-byte sectors, 8 a cluster
    header[FveSectorsPerClusterAt] = 8;
    std::memcpy(header + FveGuidAt, FveEowGuid, sizeof FveEowGuid);
    std::size_t copySize = size < CopyMost ? size : CopyMost;
    std::size_t crcSize = copySize >= 12 ? static_cast<std::size_t>(ReadLe16(data + 8)) << 4 : 0;
    for (int copy = 0; copy < 3; ++copy) {
        WriteLe32(header + FveGuidAt + 16 + 8 * copy, static_cast<std::uint32_t>(CopyAt[copy]));
        unsigned char *place = volume.data() + CopyAt[copy];
        std::memcpy(place, data, copySize);
        if (copy < 2)
            WriteLe32(header + FveGuidAt + FveEowOffsetsAfterGuid + 8 * copy,
                      static_cast<std::uint32_t>(CopyAt[copy] + EowAt));
        WriteLe32(place + EowAt + FveEowHeaderSize, static_cast<std::uint32_t>(CopyAt[0] + BitmapAt));
        FixCrc(place, EowAt, ReadLe16(place + EowAt + FveEowSizeAt), FveEowCrcAt);
        FixCrc(place, BitmapAt, ReadLe32(place + BitmapAt + FveEowBitmapRecordsAt), FveEowBitmapCrcAt);
        for (int record = 0; record < 2; ++record) {
            std::size_t at = BitmapAt + ReadLe32(place + BitmapAt + FveEowBitmapRecordsAt + 4 * record) % CopyMost;
            FixCrc(place, at, at < CopyMost - 16 ? ReadLe32(place + at + FveEowRecordSizeAt) : 0, FveEowRecordCrcAt);
        }
        if (crcSize != 0 && crcSize <= CopyMost)
            WriteLe32(place + crcSize + FveValidationCrcAt, FveCrc32(place, crcSize));
    }
    // A startup key file holding 32 zero bytes, as Windows writes one.
    static const char keyText[] = "bek:fuzz.BEK";
    unsigned char bek[156] = {0x9c, 0, 0, 0, 1, 0, 0, 0, 0x30, 0, 0, 0, 0x9c};
    const unsigned char outer[] = {0x6c, 0, 6, 0, 9, 0, 1, 0}, inner[] = {0x2c, 0, 0, 0, 1, 0, 1, 0, 2, 0x20, 0, 0};
    std::memcpy(bek + 48, outer, sizeof outer);
    std::memcpy(bek + 48 + 32, inner, sizeof inner);
    BitLockerKeys keys;
    BitLockerVolume opened;
    Fault fault;
    if (!ParseBitLockerKeys(keyText, sizeof keyText - 1, keys, fault) ||
        !SetStartupKeyFile(keys.keys[0], bek, sizeof bek, fault))
        std::abort();
    if (OpenBitLockerVolume(ReadMemory, &volume, volume.size(), keys, opened, fault)) {
        std::vector<char> buffer(0x8000);
        for (std::uint64_t at = 0; at < opened.size; at += buffer.size())
            if (ReadBitLockerVolume(&opened, at, buffer.data(), buffer.size()) <= 0)
                std::abort();
    } else if (fault.words.empty() || fault.words.find('\n') != std::string::npos) {
        std::abort();
    }
    CloseBitLockerVolume(opened);
    WipeBitLockerKeys(keys);
    return 0;
}
