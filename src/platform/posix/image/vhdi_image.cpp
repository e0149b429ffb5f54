#include "platform/posix/image/vhdi_image.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/posix/base/fd_io.h"
#include "platform/posix/image/callback_image.h"
#include "platform/posix/image/vhd_links.h"
#include "platform/posix/image/vhdx_layout.h"

namespace {

const std::uint64_t Sector = 512;

struct VhdiLayer {
    VhdLink link;
    int fd = -1; // the file, which `link` reads too
    BfioFunctions bfio;
    libbfio_handle_t *bytes = nullptr; // what libvhdi reads, over a duplicate of the file's descriptor
    libvhdi_file_t *file = nullptr;
    std::uint64_t size = 0;
    VhdiLayer *parent = nullptr;
    // Byte ranges where this layer or one below it has a partial bitmap byte.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> guarded;
};

const VhdiFunctions *Vhdi = nullptr;

bool Guarded(const VhdiLayer *layer, std::uint64_t from, std::uint64_t to)
{
    for (const auto &range : layer->guarded)
        if (range.first < to && from < range.second)
            return true;
    return false;
}

ssize_t ReadLayer(const VhdiLayer *layer, std::uint64_t offset, char *buffer, std::size_t size);

// A parent smaller than its child reads as zeros past its end.
bool ReadParent(const VhdiLayer *layer, std::uint64_t at, char *buffer)
{
    if (at >= layer->parent->size) {
        std::fill(buffer, buffer + Sector, '\0');
        return true;
    }
    return ReadLayer(layer->parent, at, buffer, Sector) == static_cast<ssize_t>(Sector);
}

bool ReadWhole(libvhdi_file_t *file, std::uint64_t at, char *buffer)
{
    return Vhdi->file_read_buffer_at_offset(file, buffer, Sector, static_cast<off64_t>(at), nullptr) ==
           static_cast<ssize_t>(Sector);
}

// One sector of a guarded range, as the hypervisor reads it: from this
// layer's block where its bitmap marks it, else from the parent. Only VHD
// layers have guarded ranges, and a VHD's parents are VHDs.
bool ReadGuardedSector(const VhdiLayer *layer, std::uint64_t at, char *buffer)
{
    const VhdLink &link = layer->link;
    if (!link.differencing || layer->parent == nullptr || link.vhdx)
        return ReadWhole(layer->file, at, buffer);
    std::uint64_t block = at / link.blockSize, sector = at % link.blockSize / Sector;
    if (block >= link.table.size() || link.table[block] == VhdUnusedBlock)
        return ReadParent(layer, at, buffer);
    const std::uint64_t blockAt = static_cast<std::uint64_t>(link.table[block]) * Sector;
    auto partial = link.partialBitmaps.find(static_cast<std::uint32_t>(block));
    unsigned char bits = 0;
    if (partial != link.partialBitmaps.end())
        bits = partial->second[sector / 8];
    else if (!ReadExactlyAt(link.fd, &bits, 1, blockAt + sector / 8))
        return false;
    if ((bits & 0x80 >> sector % 8) == 0)
        return ReadParent(layer, at, buffer);
    return ReadExactlyAt(link.fd, buffer, Sector, blockAt + link.bitmapBytes + sector * Sector);
}

// A differencing VHDX, block by block: a fully present block from this
// file, a zero block as zeros, a partially present one through libvhdi, the
// rest from the parent.
ssize_t ReadVhdxDifferencing(const VhdiLayer *layer, std::uint64_t offset, char *buffer, std::size_t size)
{
    const VhdLink &link = layer->link;
    std::size_t done = 0;
    while (done < size) {
        std::uint64_t at = offset + done, block = at / link.blockSize, within = at % link.blockSize;
        std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(link.blockSize - within, size - done));
        std::uint64_t entry = block < link.vhdxTable.size() ? link.vhdxTable[block] : 0;
        std::uint64_t state = entry & VhdxStateMask;
        ssize_t got = static_cast<ssize_t>(piece);
        if (state == VhdxBlockFullyPresent)
            got = ReadExactlyAt(link.fd, buffer + done, piece, (entry & VhdxOffsetMask) + within) ? got : -1;
        else if (state == VhdxBlockZero)
            std::fill(buffer + done, buffer + done + piece, '\0');
        else if (state == VhdxBlockPartiallyPresent)
            got = Vhdi->file_read_buffer_at_offset(layer->file, buffer + done, piece, static_cast<off64_t>(at), nullptr);
        else if (at >= layer->parent->size)
            std::fill(buffer + done, buffer + done + piece, '\0');
        else {
            piece = static_cast<std::size_t>(std::min<std::uint64_t>(piece, layer->parent->size - at));
            got = ReadLayer(layer->parent, at, buffer + done, piece);
        }
        if (got != static_cast<ssize_t>(piece))
            return -1;
        done += piece;
    }
    return static_cast<ssize_t>(done);
}

ssize_t ReadLayer(const VhdiLayer *layer, std::uint64_t offset, char *buffer, std::size_t size)
{
    if (offset >= layer->size)
        return 0;
    if (size > layer->size - offset)
        size = static_cast<std::size_t>(layer->size - offset);
    if (layer->link.vhdx && layer->link.differencing && layer->parent != nullptr)
        return ReadVhdxDifferencing(layer, offset, buffer, size);
    if (!Guarded(layer, offset, offset + size))
        return Vhdi->file_read_buffer_at_offset(layer->file, buffer, size, static_cast<off64_t>(offset), nullptr);
    std::size_t done = 0;
    while (done < size) {
        std::uint64_t at = offset + done;
        std::size_t piece = static_cast<std::size_t>(Sector - at % Sector);
        if (piece > size - done)
            piece = size - done;
        char sector[Sector];
        if (!ReadGuardedSector(layer, at - at % Sector, sector))
            return -1;
        std::copy(sector + at % Sector, sector + at % Sector + piece, buffer + done);
        done += piece;
    }
    return static_cast<ssize_t>(done);
}

ssize_t VhdiRead(void *disk, std::uint64_t offset, char *buffer, std::size_t size)
{
    return ReadLayer(static_cast<const VhdiLayer *>(disk), offset, buffer, size);
}

// The child and every parent under it; libvhdi leaves the handle it was given with its caller.
void CloseVhdi(void *disk)
{
    for (VhdiLayer *layer = static_cast<VhdiLayer *>(disk); layer != nullptr;) {
        VhdiLayer *parent = layer->parent;
        if (layer->file != nullptr) {
            Vhdi->file_close(layer->file, nullptr);
            Vhdi->file_free(&layer->file, nullptr);
        }
        if (layer->bytes != nullptr)
            layer->bfio.handle_free(&layer->bytes, nullptr);
        if (layer->fd >= 0)
            close(layer->fd);
        delete layer;
        layer = parent;
    }
}

std::string Hex(const std::string &bytes)
{
    const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : bytes)
        text += {digits[c >> 4], digits[c & 15]};
    return text;
}

} // namespace

bool OpenVhdiImage(const TskFunctions *tsk, int root, const std::string &path, bool vhdx, TSK_IMG_INFO *&image,
                   std::vector<std::string> &notes, ChainFiles &chain, Fault &fault)
{
    if ((Vhdi = VhdiLibrary(fault)) == nullptr)
        return false;
    const char *kind = vhdx ? "VHDX" : "VHD";
    std::vector<VhdiLayer *> order; // child first
    OwnedFd parent; // each parent as its child's lookup found it open
    bool whole = false;
    for (std::string at = path;;) {
        const std::string named = LinkFile(path, at);
        int fd = OpenChainFile(at, fault, order.empty() ? root : parent.fd);
        parent.Reset();
        if (fd < 0)
            break;
        VhdiLayer *layer = new VhdiLayer;
        layer->fd = fd;
        layer->bfio = BfioOf(tsk);
        if (!order.empty())
            order.back()->parent = layer;
        order.push_back(layer);
        if (!(vhdx ? ReadVhdxLink(fd, at, layer->link, fault) : ReadVhdLink(fd, at, layer->link, fault))) {
            fault.file = named;
            break;
        }
        // Who the parent is comes first: a wrong parent's own chain says nothing of this one.
        if (order.size() > 1) {
            const VhdLink &child = order[order.size() - 2]->link;
            if (layer->link.identity != child.parentIdentity &&
                (child.parentIdentity2.empty() || layer->link.identity != child.parentIdentity2)) {
                fault = {LinkFile(path, child.path),
                         "its parent " + at + " is another disk (" + kind + " id " +
                             (vhdx ? layer->link.identity : Hex(layer->link.identity)) + ", the child expects " +
                             (vhdx ? child.parentIdentity : Hex(child.parentIdentity)) + ")"};
                break;
            }
        }
        if (!AddChainLink(chain, fd, at, fault))
            break;
        if (!layer->link.checksumNote.empty())
            notes.push_back(FaultText({named, layer->link.checksumNote}));
        // libvhdi reads the descriptor this chain holds, never the name again.
        layer->bytes = DescriptorHandle(layer->bfio, fd);
        if (layer->bytes == nullptr || Vhdi->file_initialize(&layer->file, nullptr) != 1 ||
            Vhdi->file_open_file_io_handle(layer->file, layer->bytes, LIBVHDI_OPEN_READ, nullptr) != 1 ||
            Vhdi->file_get_media_size(layer->file, &layer->size, nullptr) != 1) {
            fault = {named, "damaged " + std::string(kind) + " image (libvhdi does not open it)"};
            break;
        }
        if (!layer->link.differencing) {
            whole = true;
            break;
        }
        if (!FindParentFile(at, layer->link.parent, at, fault, parent)) {
            fault.file = named;
            break;
        }
    }
    // Parents first, so each child is handed a parent that reads its own.
    for (std::size_t i = order.size() - 1; whole && i > 0; --i)
        if (Vhdi->file_set_parent_file(order[i - 1]->file, order[i]->file, nullptr) != 1) {
            fault = {LinkFile(path, order[i - 1]->link.path), "libvhdi refuses its parent " + order[i]->link.path};
            whole = false;
        }
    if (!whole) {
        CloseVhdi(order.empty() ? nullptr : order[0]);
        return false;
    }
    for (std::size_t i = order.size(); i-- > 0;) {
        VhdiLayer *layer = order[i];
        if (layer->parent != nullptr)
            layer->guarded = layer->parent->guarded;
        for (const auto &block : layer->link.partialBitmaps)
            layer->guarded.push_back({static_cast<std::uint64_t>(block.first) * layer->link.blockSize,
                                      static_cast<std::uint64_t>(block.first + 1) * layer->link.blockSize});
    }
    return OpenCallbackImage(tsk, order[0], VhdiRead, CloseVhdi, order[0]->size, kind, image, fault);
}
