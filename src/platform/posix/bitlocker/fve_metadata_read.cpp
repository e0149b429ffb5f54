#include "platform/posix/bitlocker/fve_metadata_read.h"

#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/text_encoding.h"
#include "platform/posix/bitlocker/fve_block_header.h"
#include "platform/posix/bitlocker/fve_metadata_entry.h"
#include "platform/posix/bitlocker/fve_metadata_header.h"
#include "platform/posix/bitlocker/fve_validation.h"

namespace {

bool HasSignature(const unsigned char *block)
{
    return std::memcmp(block, FveSignature, FveSignatureSize) == 0;
}

// The copy's block header at `at`, and from it the copy's size; false where
// it is not one or says it is larger than its area.
bool ReadBlockHeader(const LowerVolume &lower, std::uint64_t at, std::uint32_t area, unsigned char *head,
                     std::size_t &size)
{
    if (at == 0 || !ReadVolumeBytes(lower, at, head, FveBlockHeaderSize) || !HasSignature(head))
        return false;
    std::uint16_t version = ReadLe16(head + FveBlockVersionAt);
    size = ReadLe16(head + FveBlockSizeAt);
    if (version == FveBlockVersionSeven)
        size <<= FveBlockSizeShift;
    else if (version != FveBlockVersionVista)
        return false;
    return size >= FveBlockHeaderSize + FveMetadataHeaderSize && size + FveValidationHeadSize <= area;
}

bool ReadCopy(const LowerVolume &lower, std::uint64_t at, std::uint32_t area, std::vector<unsigned char> &block)
{
    unsigned char head[FveBlockHeaderSize];
    std::size_t size = 0;
    if (!ReadBlockHeader(lower, at, area, head, size))
        return false;
    block.assign(size + FveValidationHeadSize, 0);
    if (!ReadVolumeBytes(lower, at, block.data(), block.size()) || !FveCopyIsValid(block.data(), size))
        return false;
    block.resize(size);
    return true;
}

// The entries of the copy in `metadata.block`; false where its metadata
// header does not fit the copy.
bool ReadEntries(FveMetadata &metadata, Fault &fault)
{
    const unsigned char *block = metadata.block.data(), *head = block + FveBlockHeaderSize;
    std::uint32_t size = ReadLe32(head + FveMetadataSizeAt);
    if (ReadLe32(head + FveMetadataVersionAt) != FveMetadataVersion ||
        ReadLe32(head + FveMetadataHeaderSizeAt) != FveMetadataHeaderSize || size < FveMetadataHeaderSize ||
        size > metadata.block.size() - FveBlockHeaderSize) {
        fault.words = "its BitLocker metadata header is damaged";
        return false;
    }
    std::memcpy(metadata.guid, head + FveMetadataGuidAt, sizeof metadata.guid);
    metadata.method = ReadLe16(head + FveMetadataMethodAt);
    std::size_t begin = FveBlockHeaderSize + FveMetadataHeaderSize, end = FveBlockHeaderSize + size;
    FveEntry entry;
    for (std::size_t at = begin; ReadFveEntry(block, end, at, entry); at += entry.size) {
        const unsigned char *value = block + at + FveEntryHeadSize;
        std::size_t valueSize = entry.size - FveEntryHeadSize;
        if (entry.type == FveEntryDescription && entry.value == FveValueString) {
            metadata.description = Utf16LeNameAsUtf8(value, valueSize);
        } else if (entry.type == FveEntryVolumeMasterKey && entry.value == FveValueVolumeMasterKey) {
            FveProtector protector;
            if (metadata.protectors.size() == FveProtectorsMost) {
                fault.words = "its BitLocker metadata lists more key protectors than Windows allows";
                return false;
            }
            if (ReadFveProtector(block, at, entry.size, protector))
                metadata.protectors.push_back(protector);
        } else if (entry.type == FveEntryFullVolumeKey && entry.value == FveValueAesCcmKey) {
            metadata.fullKeyAt = at;
            metadata.fullKeySize = entry.size;
        } else if (entry.type == FveEntryVolumeHeaderBlock && entry.value == FveValueOffsetAndSize &&
                   valueSize >= FveHeaderBlockValueSize) {
            metadata.bootAt = ReadLe64(value + FveHeaderBlockOffsetAt);
            metadata.bootSize = ReadLe64(value + FveHeaderBlockSizeAt);
        }
    }
    return true;
}

} // namespace

bool ReadFveMetadata(const LowerVolume &lower, const unsigned char *sector, FveMetadata &metadata, Fault &fault)
{
    metadata.header = ReadFveVolumeHeader(sector);
    const FveVolumeHeader &header = metadata.header;
    if (header.kind == FveHeaderKind::None) {
        fault = {"", "no BitLocker volume header"};
        return false;
    }
    bool vista = header.kind == FveHeaderKind::Vista;
    std::uint32_t area = vista ? (header.clusterSize + FveVistaCopyArea - 1) / header.clusterSize * header.clusterSize
                               : (FveCopyArea + header.sectorSize - 1) / header.sectorSize * header.sectorSize;
    metadata.copyArea = area;
    std::memcpy(metadata.copyAt, header.copyAt, sizeof metadata.copyAt);
    unsigned char head[FveBlockHeaderSize];
    std::size_t size = 0;
    // Vista's volume header names only the first copy; its block header names all three.
    if (vista && ReadBlockHeader(lower, header.copyAt[0], area, head, size))
        for (int copy = 1; copy < FveCopies; ++copy)
            metadata.copyAt[copy] = ReadLe64(head + FveBlockCopiesAt + 8 * copy);
    for (int copy = 0; copy < FveCopies && metadata.copy < 0; ++copy)
        if (metadata.copyAt[copy] % header.sectorSize == 0 && ReadCopy(lower, metadata.copyAt[copy], area, metadata.block))
            metadata.copy = copy;
    if (metadata.copy < 0) {
        fault = {"", "none of the three copies of its BitLocker metadata passes its check"};
        return false;
    }
    const unsigned char *block = metadata.block.data();
    metadata.version = ReadLe16(block + FveBlockVersionAt);
    metadata.state = ReadLe16(block + FveBlockStateAt);
    if (metadata.version == FveBlockVersionVista) {
        metadata.encryptedSize = lower.size;
        metadata.mftMirrorCluster = ReadLe64(block + FveBlockHeaderAt);
    } else {
        metadata.encryptedSize = ReadLe64(block + FveBlockEncryptedSizeAt);
        metadata.bootAt = ReadLe64(block + FveBlockHeaderAt);
        metadata.bootSize = static_cast<std::uint64_t>(ReadLe32(block + FveBlockHeaderSectorsAt)) * header.sectorSize;
    }
    if (!ReadEntries(metadata, fault))
        return false;
    if (metadata.version == FveBlockVersionSeven &&
        (metadata.bootAt % header.sectorSize != 0 || metadata.bootSize % header.sectorSize != 0 ||
         metadata.bootAt > lower.size || metadata.bootSize > lower.size - metadata.bootAt ||
         metadata.bootSize > metadata.bootAt)) {
        fault.words = "its BitLocker metadata places the volume's boot sectors outside it";
        return false;
    }
    return true;
}
