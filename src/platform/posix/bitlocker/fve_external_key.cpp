#include "platform/posix/bitlocker/fve_external_key.h"

#include "platform/posix/base/byte_order.h"
#include "platform/posix/bitlocker/fve_metadata_entry.h"
#include "platform/posix/bitlocker/fve_metadata_header.h"

bool ReadFveExternalKey(const unsigned char *bytes, std::size_t size, LockedSecret &key, Fault &fault)
{
    bool header = size >= FveMetadataHeaderSize && size <= FveExternalKeyFileMost &&
                  ReadLe32(bytes + FveMetadataVersionAt) == FveMetadataVersion &&
                  ReadLe32(bytes + FveMetadataHeaderSizeAt) == FveMetadataHeaderSize;
    std::uint32_t total = header ? ReadLe32(bytes + FveMetadataSizeAt) : 0;
    FveEntry outer, inner;
    if (total < FveMetadataHeaderSize || total > size ||
        !FindFveEntry(bytes, FveMetadataHeaderSize, total, FveValueExternalKey, outer) ||
        outer.size < FveEntryHeadSize + FveExternalKeyEntriesAt) {
        fault = {"", "not a BitLocker startup key file"};
        return false;
    }
    std::size_t begin = outer.at + FveEntryHeadSize + FveExternalKeyEntriesAt;
    if (!FindFveEntry(bytes, begin, outer.at + outer.size, FveValueKey, inner) ||
        inner.size != FveEntryHeadSize + FveKeyBytesAt + FveExternalKeySize) {
        fault = {"", "the startup key file holds no key"};
        return false;
    }
    if (!AllocateSecret(key, FveExternalKeySize)) {
        fault = {"", "no memory for a key"};
        return false;
    }
    CopySecret(key, bytes + inner.at + FveEntryHeadSize + FveKeyBytesAt, FveExternalKeySize);
    return true;
}
