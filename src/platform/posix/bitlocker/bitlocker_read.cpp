// Reading the volume as Windows shows it once unlocked: the boot sectors
// from where BitLocker moved them (Vista: its own boot sector with the
// file system's fields put back), the metadata areas as zeros, sectors
// within the encrypted size decrypted and those past it as they lie; on an
// encrypt-on-write volume, the chunks its bitmaps mark decrypted and the
// rest as they lie.
#include <algorithm>
#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/bitlocker/bitlocker_reader.h"
#include "platform/posix/bitlocker/bitlocker_volume.h"
#include "platform/posix/bitlocker/fve_block_header.h"

namespace {

const std::uint64_t VistaPlainSectors = 16; // the boot sectors Vista leaves unencrypted
const char NtfsSignature[] = "NTFS    ";
const unsigned char BootJump = 0xEB;
const std::size_t BootSignatureAt = 510;
const std::uint16_t BootSignature = 0xAA55;

bool Within(std::uint64_t offset, std::uint64_t at, std::uint64_t size)
{
    return offset >= at && offset - at < size;
}

bool ReadsAsZeros(const BitLockerReader &reader, std::uint64_t offset)
{
    const FveMetadata &metadata = reader.metadata;
    for (int copy = 0; copy < FveCopies; ++copy)
        if (metadata.copyAt[copy] != 0 && Within(offset, metadata.copyAt[copy], metadata.copyArea))
            return true;
    for (const FveArea &area : reader.eow.hidden)
        if (Within(offset, area.at, area.size))
            return true;
    return metadata.version == FveBlockVersionSeven && Within(offset, metadata.bootAt, metadata.bootSize);
}

// The sector at `offset` of the volume into `sector`, already read from
// below at the same offset; false where the volume under it fails.
bool ShowSector(BitLockerReader &reader, std::uint64_t offset, unsigned char *sector)
{
    const FveMetadata &metadata = reader.metadata;
    std::size_t size = metadata.header.sectorSize;
    bool vista = metadata.version == FveBlockVersionVista;
    std::uint64_t from = offset;
    if (!vista && offset < metadata.bootSize) {
        from = metadata.bootAt + offset;
        if (!ReadVolumeBytes(reader.lower, from, sector, size))
            return false;
    }
    if (ReadsAsZeros(reader, offset)) {
        std::memset(sector, 0, size);
        return true;
    }
    if (vista && offset < VistaPlainSectors * size) {
        if (offset == 0) {
            std::memcpy(sector + FveSignatureAt, NtfsSignature, FveSignatureSize);
            WriteLe64(sector + FveVistaMetadataClusterAt, metadata.mftMirrorCluster);
        }
        return true;
    }
    if (!reader.encrypted)
        return true;
    FveChunk chunk = FveEowChunk(reader.eow, from);
    if (chunk == FveChunk::Plain ||
        (chunk == FveChunk::Unknown &&
         (from >= metadata.encryptedSize || (reader.plainBoot && offset < metadata.bootSize))))
        return true;
    return DecryptSector(reader.cipher, from, sector);
}

} // namespace

bool BootSectorsLieInPlain(const BitLockerReader &reader)
{
    // Encrypt-on-write leaves what was there before unencrypted until it is
    // written again, the boot sectors too: a boot sector is no ciphertext.
    const FveMetadata &metadata = reader.metadata;
    unsigned char sector[FveSectorSize];
    return metadata.header.encryptOnWrite && metadata.bootSize != 0 &&
           ReadVolumeBytes(reader.lower, metadata.bootAt, sector, sizeof sector) && sector[0] == BootJump &&
           ReadLe16(sector + BootSignatureAt) == BootSignature;
}

ssize_t ReadBitLockerVolume(void *opened, std::uint64_t offset, char *buffer, std::size_t size)
{
    BitLockerVolume &volume = *static_cast<BitLockerVolume *>(opened);
    BitLockerReader &reader = *static_cast<BitLockerReader *>(volume.reader);
    if (offset >= volume.size)
        return 0;
    if (size > volume.size - offset)
        size = static_cast<std::size_t>(volume.size - offset);
    std::size_t sectorSize = reader.metadata.header.sectorSize;
    for (std::size_t done = 0; done < size;) {
        std::uint64_t at = offset + done, start = at - at % sectorSize;
        std::size_t skip = static_cast<std::size_t>(at - start);
        // Only the sectors asked for are decrypted, at most a chunk of them.
        std::uint64_t wanted = (skip + (size - done) + sectorSize - 1) / sectorSize * sectorSize;
        std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(
            {static_cast<std::uint64_t>(BitLockerChunk), volume.size - start, wanted}));
        unsigned char *chunk = reader.chunk.data();
        if (!ReadVolumeBytes(reader.lower, start, chunk, length))
            return -1;
        for (std::size_t in = 0; in < length; in += sectorSize)
            if (!ShowSector(reader, start + in, chunk + in))
                return -1;
        std::size_t take = length - skip;
        if (take > size - done)
            take = size - done;
        std::memcpy(buffer + done, chunk + skip, take);
        done += take;
    }
    return static_cast<ssize_t>(size);
}
