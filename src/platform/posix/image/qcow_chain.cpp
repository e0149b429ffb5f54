#include "platform/posix/image/qcow_chain.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/image/qcow_header.h"
#include "platform/posix/image/qcow_inflate.h"

namespace {

const std::uint64_t OffsetMask = 0x00fffffffffffe00ULL;
const std::uint64_t CompressedFlag = 1ULL << 62;
const std::uint64_t ZeroFlag = 1; // version 3: the cluster reads as zeros, allocated or not
const unsigned CompressedSectorBits = 9; // a compressed run is counted in 512-byte sectors

enum class Cluster { Data, Compressed, Zero, Absent };

struct QcowLink {
    int fd;
    unsigned clusterBits;
    bool version3;
    std::uint64_t fileSize;
    std::vector<std::uint64_t> l1;
    std::map<std::uint64_t, std::vector<std::uint64_t>> l2; // by L1 index, read on first use
    std::uint64_t inflatedEntry;          // the compressed cluster last inflated, 0 for none
    std::vector<unsigned char> inflated; // its bytes
};

} // namespace

struct QcowChain {
    std::vector<QcowLink> links; // newest first
    int raw;                     // -1 for none
    std::uint64_t rawSize;
};

namespace {

bool ReadLinkTables(QcowLink &link, Fault &fault)
{
    unsigned char header[QcowVersion2HeaderSize];
    struct stat info;
    if (fstat(link.fd, &info) != 0 || !ReadExactlyAt(link.fd, header, sizeof header, 0)) {
        fault = {"", "qcow2 image whose header cannot be read"};
        return false;
    }
    std::uint64_t fileSize = link.fileSize = static_cast<std::uint64_t>(info.st_size);
    link.clusterBits = ReadBe32(header + QcowClusterBitsAt);
    link.version3 = ReadBe32(header + QcowVersionAt) >= 3;
    std::uint64_t l1Size = ReadBe32(header + QcowL1SizeAt), l1Offset = ReadBe64(header + QcowL1OffsetAt);
    if (link.clusterBits < QcowMinClusterBits || link.clusterBits > QcowMaxClusterBits || l1Size > fileSize / 8 || l1Offset > fileSize - l1Size * 8) {
        fault = {"", "qcow2 image whose tables lie past its end"};
        return false;
    }
    std::vector<unsigned char> bytes(l1Size * 8);
    if (l1Size != 0 && !ReadExactlyAt(link.fd, bytes.data(), bytes.size(), l1Offset)) {
        fault = {"", "qcow2 image whose L1 table cannot be read"};
        return false;
    }
    for (std::uint64_t i = 0; i < l1Size; ++i)
        link.l1.push_back(ReadBe64(&bytes[i * 8]) & OffsetMask);
    return true;
}

// Whether `link` holds the cluster at `offset`. False where its L2 table
// cannot be read: the read then fails rather than answer from an older link.
bool StateOf(QcowLink &link, std::uint64_t offset, Cluster &state, std::uint64_t &entry)
{
    std::uint64_t perTable = 1ULL << (link.clusterBits - 3);
    std::uint64_t cluster = offset >> link.clusterBits;
    std::uint64_t index = cluster / perTable;
    state = Cluster::Absent;
    if (index >= link.l1.size() || link.l1[index] == 0)
        return true;
    auto found = link.l2.find(index);
    if (found == link.l2.end()) {
        std::size_t size = static_cast<std::size_t>(perTable * 8);
        std::vector<unsigned char> bytes(size);
        if (!ReadExactlyAt(link.fd, bytes.data(), size, link.l1[index]))
            return false;
        std::vector<std::uint64_t> table(perTable);
        for (std::uint64_t i = 0; i < perTable; ++i)
            table[i] = ReadBe64(&bytes[i * 8]);
        found = link.l2.emplace(index, std::move(table)).first;
    }
    entry = found->second[cluster % perTable];
    if ((entry & CompressedFlag) != 0)
        state = Cluster::Compressed;
    else if (link.version3 && (entry & ZeroFlag) != 0)
        state = Cluster::Zero;
    else if ((entry & OffsetMask) != 0)
        state = Cluster::Data;
    return true;
}

// The piece of the compressed cluster `entry` at `within`: the entry holds
// the host offset in its low bits and, above them, the count of further
// sectors the deflated run spans.
ssize_t ReadCompressed(QcowLink &link, std::uint64_t entry, std::uint64_t within, char *buffer, std::size_t size)
{
    const unsigned countShift = 62 - (link.clusterBits - 8);
    const std::uint64_t host = entry & ((1ULL << countShift) - 1);
    const std::uint64_t sectors = ((entry >> countShift) & ((1ULL << (link.clusterBits - 8)) - 1)) + 1;
    const std::size_t clusterSize = static_cast<std::size_t>(1) << link.clusterBits;
    if (link.inflatedEntry != entry) {
        std::uint64_t packed = (sectors << CompressedSectorBits) - (host & ((1U << CompressedSectorBits) - 1));
        if (host >= link.fileSize)
            return -1;
        packed = std::min(packed, link.fileSize - host);
        std::vector<unsigned char> bytes(static_cast<std::size_t>(packed));
        Fault fault; // a read error, which says nothing more
        link.inflated.resize(clusterSize);
        link.inflatedEntry = 0;
        if (!ReadExactlyAt(link.fd, bytes.data(), bytes.size(), host) ||
            !InflateQcowCluster(bytes.data(), bytes.size(), link.inflated.data(), clusterSize, fault))
            return -1;
        link.inflatedEntry = entry;
    }
    std::memcpy(buffer, link.inflated.data() + within, size);
    return static_cast<ssize_t>(size);
}

ssize_t ReadPiece(QcowChain &chain, std::uint64_t offset, char *buffer, std::size_t size)
{
    for (QcowLink &link : chain.links) {
        Cluster state;
        std::uint64_t entry = 0, within = offset & ((1ULL << link.clusterBits) - 1);
        if (!StateOf(link, offset, state, entry))
            return -1;
        if (state == Cluster::Zero) {
            std::memset(buffer, 0, size);
            return static_cast<ssize_t>(size);
        }
        if (state == Cluster::Compressed)
            return ReadCompressed(link, entry, within, buffer, size);
        if (state == Cluster::Data)
            return ReadExactlyAt(link.fd, buffer, size, (entry & OffsetMask) + within) ? static_cast<ssize_t>(size) : -1;
    }
    // The base: none, or a raw file shorter than the disk, reads as zeros.
    std::memset(buffer, 0, size);
    if (chain.raw < 0 || offset >= chain.rawSize)
        return static_cast<ssize_t>(size);
    std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, chain.rawSize - offset));
    return ReadExactlyAt(chain.raw, buffer, wanted, offset) ? static_cast<ssize_t>(size) : -1;
}

} // namespace

QcowChain *OpenQcowChain(const std::vector<int> &fds, int raw, Fault &fault)
{
    struct stat info = {};
    bool readable = raw < 0 || fstat(raw, &info) == 0;
    QcowChain *chain = new QcowChain{{}, raw, static_cast<std::uint64_t>(info.st_size)};
    for (int fd : fds)
        chain->links.push_back(QcowLink{fd, 0, false, 0, {}, {}, 0, {}});
    if (!readable)
        fault = {"", "its raw backing file cannot be read"};
    for (std::size_t i = 0; readable && i < chain->links.size(); ++i)
        readable = ReadLinkTables(chain->links[i], fault);
    if (readable)
        return chain;
    CloseQcowChain(chain);
    return nullptr;
}

void CloseQcowChain(void *disk)
{
    QcowChain *chain = static_cast<QcowChain *>(disk);
    for (const QcowLink &link : chain->links)
        close(link.fd);
    if (chain->raw >= 0)
        close(chain->raw);
    delete chain;
}

ssize_t ReadQcowChain(void *disk, std::uint64_t offset, char *buffer, std::size_t size)
{
    QcowChain &chain = *static_cast<QcowChain *>(disk);
    // Clusters of the smallest size in the chain never straddle a link's.
    unsigned bits = QcowMaxClusterBits;
    for (const QcowLink &link : chain.links)
        bits = std::min(bits, link.clusterBits);
    std::size_t done = 0;
    while (done < size) {
        std::uint64_t at = offset + done;
        std::uint64_t clusterEnd = ((at >> bits) + 1) << bits;
        std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(size - done, clusterEnd - at));
        ssize_t got = ReadPiece(chain, at, buffer + done, piece);
        if (got != static_cast<ssize_t>(piece))
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        done += piece;
    }
    return static_cast<ssize_t>(done);
}
