// A VDI's header and block map, every field checked before it is used: the
// file may be anything that starts like a VDI.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/image/vdi_image.h"

bool ReadVdiLayer(int fd, const std::string &path, VdiLayer &layer, Fault &fault)
{
    unsigned char header[VdiHeaderEnd];
    struct stat info;
    if (fstat(fd, &info) != 0 || !ReadExactlyAt(fd, header, sizeof header, 0) ||
        ReadLe32(header + VdiSignatureAt) != VdiSignature) {
        fault = {"", "not a VDI image (its header is cut short)"};
        return false;
    }
    const std::uint64_t fileSize = static_cast<std::uint64_t>(info.st_size);
    layer.path = path;
    layer.fd = fd;
    layer.type = ReadLe32(header + VdiImageTypeAt);
    layer.diskSize = ReadLe64(header + VdiDiskSizeAt);
    layer.dataAt = ReadLe32(header + VdiDataAt);
    layer.blockSize = ReadLe32(header + VdiBlockSizeAt);
    layer.blockExtra = ReadLe32(header + VdiBlockExtraAt);
    const std::uint64_t mapAt = ReadLe32(header + VdiBlockMapAt), count = ReadLe32(header + VdiBlockCountAt);
    std::memcpy(layer.createUuid, header + VdiCreateUuidAt, VdiUuidSize);
    std::memcpy(layer.linkageUuid, header + VdiLinkageUuidAt, VdiUuidSize);
    std::uint32_t version = ReadLe32(header + VdiVersionAt);
    if (version != VdiVersion11 || ReadLe32(header + VdiHeaderSizeAt) < VdiMinHeaderSize) {
        fault = {"", "VDI image of version " + std::to_string(version >> 16) + "." + std::to_string(version & 0xFFFF) +
                     ", which is not read (only 1.1)"};
        return false;
    }
    if (layer.type != VdiTypeDynamic && layer.type != VdiTypeFixed && layer.type != VdiTypeDifferencing) {
        fault = {"", "VDI image of type " + std::to_string(layer.type) + ", which is not read"};
        return false;
    }
    if (layer.blockSize < VdiMinBlockSize || layer.blockSize > VdiMaxBlockSize || layer.blockSize % 512 != 0 ||
        layer.blockExtra > VdiMaxBlockExtra || layer.diskSize == 0 || layer.diskSize > VdiMaxDiskSize ||
        count < (layer.diskSize + layer.blockSize - 1) / layer.blockSize || count > fileSize / 4 ||
        mapAt < VdiHeaderEnd || mapAt > fileSize - count * 4) {
        fault = {"", "damaged VDI image (its header's sizes do not fit together)"};
        return false;
    }
    layer.blocks.resize(count);
    std::vector<unsigned char> map(count * 4);
    if (!ReadExactlyAt(fd, map.data(), map.size(), mapAt)) {
        fault = {"", "damaged VDI image (its block map cannot be read)"};
        return false;
    }
    const std::uint64_t stride = static_cast<std::uint64_t>(layer.blockSize) + layer.blockExtra;
    for (std::uint64_t b = 0; b < count; ++b) {
        std::uint32_t entry = ReadLe32(&map[b * 4]);
        layer.blocks[b] = entry;
        if (entry == VdiBlockFree || entry == VdiBlockZero)
            continue;
        if (entry >= count || layer.dataAt > fileSize || entry * stride + layer.blockExtra > fileSize - layer.dataAt ||
            layer.blockSize > fileSize - layer.dataAt - entry * stride - layer.blockExtra) {
            fault = {"", "VDI image cut short or damaged (block " + std::to_string(b) +
                             " lies past the end of the file)"};
            return false;
        }
    }
    return true;
}

ssize_t ReadVdi(const VdiLayer *layer, std::uint64_t offset, char *buffer, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        std::uint64_t at = offset + done;
        if (at >= layer->diskSize)
            break;
        std::uint64_t block = at / layer->blockSize, within = at % layer->blockSize;
        std::size_t piece = static_cast<std::size_t>(layer->blockSize - within);
        if (piece > size - done)
            piece = size - done;
        if (piece > layer->diskSize - at)
            piece = static_cast<std::size_t>(layer->diskSize - at);
        std::uint32_t entry = layer->blocks[block];
        if (entry == VdiBlockFree && layer->parent != nullptr) {
            ssize_t got = ReadVdi(layer->parent, at, buffer + done, piece);
            if (got < 0)
                return -1;
            std::memset(buffer + done + got, 0, piece - static_cast<std::size_t>(got)); // past the parent's end
        } else if (entry == VdiBlockFree || entry == VdiBlockZero) {
            std::memset(buffer + done, 0, piece);
        } else {
            std::uint64_t from = layer->dataAt + entry * (static_cast<std::uint64_t>(layer->blockSize) +
                                                          layer->blockExtra) + layer->blockExtra + within;
            if (!ReadExactlyAt(layer->fd, buffer + done, piece, from))
                return -1;
        }
        done += piece;
    }
    return static_cast<ssize_t>(done);
}
