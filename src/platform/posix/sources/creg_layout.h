// The parts of a Windows 95/98/Me SYSTEM.DAT (CREG) checked here before
// libcreg reads it: the file header, the key tree's RGKN header, and the
// tree's entries, which libcreg follows without bounds of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/posix/base/byte_order.h"

const std::uint32_t CregFileHeaderSize = 32;
const char CregSignature[] = "CREG";
const std::size_t CregDataBlocksOffsetAt = 8; // where the data blocks start, in the file
const std::size_t CregDataBlockCountAt = 16;  // 16 bits
const std::uint32_t CregDataBlockHeaderSize = 32; // "RGDB", its size, ...

const std::uint32_t CregRgknHeaderSize = 32; // right after the file header
const char CregRgknSignature[] = "RGKN";
const std::size_t CregRgknSizeAt = 4;     // of the whole key tree, header included
const std::size_t CregRgknRootOffsetAt = 8; // the file offset that tree offsets count from

const std::uint32_t CregHierarchyEntrySize = 28;
const std::size_t CregEntryFirstChildAt = 16;
const std::size_t CregEntryNextSiblingAt = 20;
const std::uint32_t CregRootEntryOffset = 0x20; // where libcreg starts the tree

struct CregTree {
    std::uint32_t base; // file offset of tree offset 0
    std::uint32_t size; // tree offsets below this are readable
};

// The file's first CregFileHeaderSize + CregRgknHeaderSize bytes (`got` of
// them read) against a file of `fileSize`: "" with `tree` set, or what is
// wrong. The headers record no file size; a file cut short is measured
// against the least they declare: the key tree, then a header for each data
// block.
inline std::string CheckCregHeaders(const unsigned char *head, std::size_t got, std::uint64_t fileSize, CregTree &tree)
{
    if (fileSize == 0)
        return "empty file";
    if (got >= 4 && std::memcmp(head, CregSignature, 4) != 0)
        return "not a CREG file";
    const std::uint32_t headers = CregFileHeaderSize + CregRgknHeaderSize;
    if (got < headers && fileSize >= headers)
        return "truncated";
    if (got < headers)
        return "truncated: " + std::to_string(fileSize) + " bytes, where its headers alone take " +
               std::to_string(headers);
    const unsigned char *rgkn = head + CregFileHeaderSize;
    if (std::memcmp(rgkn, CregRgknSignature, 4) != 0)
        return "damaged (no key tree)";
    std::uint32_t blocksAt = ReadLe32(head + CregDataBlocksOffsetAt);
    std::uint32_t rgknSize = ReadLe32(rgkn + CregRgknSizeAt);
    tree.base = ReadLe32(rgkn + CregRgknRootOffsetAt);
    if (rgknSize < CregRgknHeaderSize)
        return "damaged (key tree size)";
    tree.size = rgknSize - CregRgknHeaderSize;
    std::uint64_t treeEnd = static_cast<std::uint64_t>(tree.base) + tree.size;
    if (treeEnd > fileSize || blocksAt >= fileSize) {
        std::uint64_t blocks = ReadLe16(head + CregDataBlockCountAt);
        std::uint64_t least = blocksAt + (blocks > 0 ? blocks : 1) * CregDataBlockHeaderSize;
        return "truncated: " + std::to_string(fileSize) + " bytes, where its headers declare at least " +
               std::to_string(least > treeEnd ? least : treeEnd);
    }
    return "";
}
