// A GUID partition table: its header in the sector after the protective
// MBR, and an array of entries, each naming its partition's type by GUID.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/guid_text.h"

const std::uint64_t GptHeaderSector = 1;
const char GptSignature[] = "EFI PART"; // 8 bytes at the header's start
const std::size_t GptEntriesSectorAt = 72; // 8 bytes
const std::size_t GptEntryCountAt = 80;    // 4 bytes
const std::size_t GptEntrySizeAt = 84;     // 4 bytes, a multiple of 128
const std::size_t GptEntrySizeLeast = 128;

const std::size_t GptEntryTypeAt = 0;        // 16 bytes, a GUID as stored
const std::size_t GptEntryFirstSectorAt = 32; // 8 bytes

// The partitions Windows makes for itself on a GPT disk: none holds an
// installation, and the reserved one holds no file system at all.
const char MicrosoftReservedType[] = "E3C9E316-0B5C-4DB8-817D-F92DF00215AE";
const char EfiSystemType[] = "C12A7328-F81F-11D2-BA4B-00A0C93EC93B";
const char WindowsRecoveryType[] = "DE94BBA4-06D1-4D40-A16A-BFD50179D6AC";
// A dynamic disk's: its database, and the space its volumes take.
const char GptLdmMetadataType[] = "5808C8AA-7E8F-42E0-85D2-E1E90434CFB3";
const char GptLdmDataType[] = "AF9B60A0-1431-4F62-BC68-3311714A69AD";

const struct {
    const char *type;
    const char *name;
} WindowsOwnPartitions[] = {
    {MicrosoftReservedType, "Microsoft reserved partition"},
    {EfiSystemType, "EFI system partition"},
    {WindowsRecoveryType, "Windows recovery partition"},
    {GptLdmMetadataType, "dynamic disk's database"},
    {GptLdmDataType, "dynamic disk's volumes"},
};

inline bool HasGptSignature(const unsigned char *header)
{
    return std::memcmp(header, GptSignature, sizeof GptSignature - 1) == 0;
}

// The name of the Windows partition of this type; null for any other.
inline const char *WindowsOwnPartitionName(const unsigned char *entry)
{
    char text[40];
    GuidText(entry + GptEntryTypeAt, text, sizeof text);
    for (const auto &own : WindowsOwnPartitions)
        if (std::strcmp(text, own.type) == 0)
            return own.name;
    return nullptr;
}
