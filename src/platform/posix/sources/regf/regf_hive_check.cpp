#include "platform/posix/sources/regf/regf_hive_check.h"

#include "platform/posix/sources/regf/regf_base_block.h"

namespace {

// The smallest hive there is: a base block and one bin.
const std::uint64_t kSmallestHive = kRegfBaseBlockSize + 4096;

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
