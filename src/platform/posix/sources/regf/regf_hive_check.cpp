#include "platform/posix/sources/regf/regf_hive_check.h"

#include <cstdio>
#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/sources/regf/regf_base_block.h"
#include "platform/posix/sources/regf/regf_hive_bin.h"

namespace {

// The smallest hive hivex reads: a base block and one bin.
const std::uint64_t kSmallestHive = kRegfBaseBlockSize + 4096;

// A place in the file as a reader of the format counts it, from the start of
// the hive bins, and as a hex viewer finds it.
std::string Where(std::uint64_t fileOffset)
{
    char text[80];
    std::snprintf(text, sizeof text, "hive bin offset 0x%llx (file offset 0x%llx)",
                  static_cast<unsigned long long>(fileOffset - kRegfBaseBlockSize),
                  static_cast<unsigned long long>(fileOffset));
    return text;
}

} // namespace

std::string RegfHiveShortfall(const unsigned char *head, std::size_t headSize, std::uint64_t fileSize)
{
    RegfBaseBlock block;
    if (!ReadRegfBaseBlock(head, headSize, block) || !block.signatureValid)
        return "";
    std::uint64_t declared = kRegfBaseBlockSize + static_cast<std::uint64_t>(block.hiveBinsSize);
    if (fileSize >= declared)
        return "";
    return "cut short: " + std::to_string(fileSize) + " bytes, where its base block declares " +
           std::to_string(declared) + " (" + std::to_string(block.hiveBinsSize) + " of hive bins)";
}

std::string RegfBaseBlockFault(const unsigned char *head, std::size_t headSize, std::uint64_t fileSize)
{
    RegfBaseBlock block;
    if (fileSize == 0)
        return "empty file";
    if (headSize < kRegfBaseBlockSize || !ReadRegfBaseBlock(head, headSize, block))
        return "only " + std::to_string(fileSize) + " bytes, shorter than a hive's base block";
    if (!block.signatureValid)
        return "not a registry hive (no regf signature)";
    if (block.majorVersion != 1)
        return "hive format version " + std::to_string(block.majorVersion) + "." +
               std::to_string(block.minorVersion) + ", where every NT hive is 1.x";
    if (!block.checksumValid)
        return "its base block fails its checksum";
    if (block.fileType == kRegfFileTypeLog || block.fileType == kRegfFileTypeEarlyLog ||
        block.fileType == kRegfFileTypeEntryLog)
        return "a transaction log, not a hive (file type " + std::to_string(block.fileType) + ")";
    if (fileSize < kSmallestHive) {
        std::string shortfall = RegfHiveShortfall(head, headSize, fileSize);
        return shortfall.empty() ? "no hive bin after its base block" : shortfall;
    }
    return "";
}

std::string RegfHiveBinsFault(const unsigned char *bytes, std::uint64_t size, bool &pastEnd)
{
    pastEnd = false;
    RegfBaseBlock block;
    if (!ReadRegfBaseBlock(bytes, size, block))
        return "";
    std::uint64_t end = kRegfBaseBlockSize + static_cast<std::uint64_t>(block.hiveBinsSize);
    std::uint64_t root = kRegfBaseBlockSize + static_cast<std::uint64_t>(ReadLe32(bytes + kRegfRootCellAt));
    bool rootSeen = false, rootSound = false;
    std::uint32_t binSize = 0;
    for (std::uint64_t bin = kRegfBaseBlockSize; bin < size && bin < end; bin += binSize) {
        if (bin + kRegfHiveBinHeaderSize > size) {
            pastEnd = true;
            return "cut short inside the hive bin header at " + Where(bin);
        }
        const unsigned char *header = bytes + bin;
        if (std::memcmp(header + kRegfHiveBinSignatureAt, "hbin", 4) != 0)
            return "no hive bin at " + Where(bin) + ", inside the " + std::to_string(block.hiveBinsSize) +
                   " bytes of hive bins its base block declares";
        binSize = ReadLe32(header + kRegfHiveBinSizeAt);
        if (binSize <= kRegfHiveBinHeaderSize || binSize % 4096 != 0)
            return "the hive bin at " + Where(bin) + " gives its size as " + std::to_string(binSize) +
                   ", not a multiple of 4096";
        if (bin + binSize > size) {
            pastEnd = true;
            return "the hive bin at " + Where(bin) + ", of " + std::to_string(binSize) + " bytes, runs past the end of the file";
        }
        std::uint32_t own = ReadLe32(header + kRegfHiveBinOffsetAt);
        if (kRegfBaseBlockSize + static_cast<std::uint64_t>(own) != bin)
            return "the hive bin at " + Where(bin) + " gives its own offset as " + Where(kRegfBaseBlockSize + own);
        std::uint64_t cellSize = 0;
        for (std::uint64_t cell = bin + kRegfHiveBinHeaderSize; cell < bin + binSize; cell += cellSize) {
            std::int32_t stored = static_cast<std::int32_t>(ReadLe32(bytes + cell + kRegfCellSizeAt));
            bool used = stored < 0;
            cellSize = used ? 0 - static_cast<std::int64_t>(stored) : stored;
            if (cellSize <= 4 || cellSize % 4 != 0)
                return "the cell at " + Where(cell) + " gives its size as " + std::to_string(stored);
            if (cell + cellSize > bin + binSize)
                return "the cell at " + Where(cell) + ", of " + std::to_string(cellSize) + " bytes, runs past its hive bin";
            if (cell == root) {
                rootSeen = true;
                rootSound = used && std::memcmp(bytes + cell + kRegfCellSignatureAt, "nk", 2) == 0;
            }
        }
    }
    if (!rootSeen)
        return "the root key's offset, " + Where(root) + ", is not the start of a cell";
    if (!rootSound)
        return "the root key's cell is free or not a key (nk)";
    return "";
}
