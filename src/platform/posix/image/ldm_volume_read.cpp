#include "platform/posix/image/ldm_volume_read.h"

#include <algorithm>

namespace {

const std::size_t MembersMost = 32;
const std::size_t ParityPiece = 4096;

bool Missing(const VolumeMember &member)
{
    return member.disk == nullptr;
}

// The columns that hold data in each row of chunks.
std::uint64_t DataColumns(const VolumeLayout &layout)
{
    return layout.kind == Raid5Volume ? layout.members.size() - 1 : layout.members.size();
}

bool ReadMember(const VolumeLayout &layout, const VolumeMember &member, std::uint64_t at, char *buffer,
                std::size_t size)
{
    if (member.disk == nullptr)
        return false;
    ssize_t got = layout.tsk->img_read(member.disk, static_cast<TSK_OFF_T>(member.offset + at), buffer, size);
    return got == static_cast<ssize_t>(size);
}

// A missing RAID-5 member's bytes: the others', parity included, XORed.
bool ReadByParity(const VolumeLayout &layout, std::size_t missing, std::uint64_t at, char *buffer, std::size_t size)
{
    char piece[ParityPiece];
    std::fill(buffer, buffer + size, 0);
    for (std::size_t column = 0; column < layout.members.size(); ++column) {
        if (column == missing)
            continue;
        for (std::size_t done = 0; done < size;) {
            std::size_t part = std::min(size - done, sizeof piece);
            if (!ReadMember(layout, layout.members[column], at + done, piece, part))
                return false;
            for (std::size_t i = 0; i < part; ++i)
                buffer[done + i] ^= piece[i];
            done += part;
        }
    }
    return true;
}

// Reads what lies at `offset` up to the end of its chunk or partition;
// the count read, 0 on failure.
std::size_t ReadPiece(const VolumeLayout &layout, std::uint64_t offset, char *buffer, std::size_t size)
{
    const std::vector<VolumeMember> &members = layout.members;
    if (layout.kind == SimpleVolume || layout.kind == SpannedVolume) {
        for (const VolumeMember &member : members) {
            if (offset >= member.size) {
                offset -= member.size;
                continue;
            }
            std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(size, member.size - offset));
            return ReadMember(layout, member, offset, buffer, part) ? part : 0;
        }
        return 0;
    }
    if (layout.kind == MirroredVolume) {
        auto half = std::find_if(members.begin(), members.end(), [](const VolumeMember &m) { return !Missing(m); });
        return half != members.end() && ReadMember(layout, *half, offset, buffer, size) ? size : 0;
    }
    std::uint64_t chunk = offset / layout.chunk, within = offset % layout.chunk, columns = DataColumns(layout);
    std::uint64_t row = chunk / columns, column = chunk % columns;
    if (layout.kind == Raid5Volume) {
        std::uint64_t parity = members.size() - 1 - row % members.size();
        column = (parity + 1 + column) % members.size();
    }
    std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(size, layout.chunk - within));
    std::uint64_t at = row * layout.chunk + within;
    const VolumeMember &member = members[static_cast<std::size_t>(column)];
    if (Missing(member) && layout.kind == Raid5Volume)
        return ReadByParity(layout, static_cast<std::size_t>(column), at, buffer, part) ? part : 0;
    return ReadMember(layout, member, at, buffer, part) ? part : 0;
}

} // namespace

bool CheckVolumeLayout(const VolumeLayout &layout, std::string &why)
{
    const std::vector<VolumeMember> &members = layout.members;
    std::size_t least = layout.kind == Raid5Volume ? 3 : layout.kind == StripedVolume ? 2 : 1;
    if (members.size() < least || members.size() > MembersMost ||
        (layout.kind == SimpleVolume && members.size() != 1)) {
        why = "a volume of its kind on " + std::to_string(members.size()) + " partitions";
        return false;
    }
    std::uint64_t total = 0, smallest = UINT64_MAX;
    for (const VolumeMember &member : members) {
        if (member.disk != nullptr && (member.offset > static_cast<std::uint64_t>(member.disk->size) ||
                                       static_cast<std::uint64_t>(member.disk->size) - member.offset < member.size)) {
            why = "a partition of " + member.diskName + " lies past the disk's end";
            return false;
        }
        total = member.size > UINT64_MAX - total ? UINT64_MAX : total + member.size;
        smallest = std::min(smallest, member.size);
    }
    bool holds = layout.kind == SimpleVolume || layout.kind == SpannedVolume ? total >= layout.size
                 : layout.kind == MirroredVolume                             ? smallest >= layout.size
                                                                             : false;
    if (layout.kind == StripedVolume || layout.kind == Raid5Volume) {
        std::uint64_t perRow = layout.chunk * DataColumns(layout);
        holds = layout.chunk != 0 && layout.chunk <= smallest && perRow / DataColumns(layout) == layout.chunk &&
                layout.size / perRow + (layout.size % perRow != 0) <= smallest / layout.chunk;
    }
    if (!holds) {
        why = "its partitions do not hold its " + std::to_string(layout.size) + " bytes";
        return false;
    }
    return true;
}

std::string MissingDisks(const VolumeLayout &layout)
{
    std::vector<std::string> names;
    std::string text;
    for (const VolumeMember &member : layout.members)
        if (Missing(member) && std::find(names.begin(), names.end(), member.diskName) == names.end()) {
            text += (names.empty() ? "" : ", ") + member.diskName;
            names.push_back(member.diskName);
        }
    return text;
}

std::string LackingDisks(const VolumeLayout &layout)
{
    std::size_t missing = static_cast<std::size_t>(
        std::count_if(layout.members.begin(), layout.members.end(), Missing));
    if ((layout.kind == MirroredVolume && missing < layout.members.size()) ||
        (layout.kind == Raid5Volume && missing == 1))
        return "";
    return MissingDisks(layout);
}

ssize_t ReadDynamicVolume(void *disk, std::uint64_t offset, char *buffer, std::size_t size)
{
    const VolumeLayout &layout = *static_cast<const VolumeLayout *>(disk);
    if (offset >= layout.size)
        return 0;
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, layout.size - offset));
    std::size_t done = 0;
    while (done < size) {
        std::size_t got = ReadPiece(layout, offset + done, buffer + done, size - done);
        if (got == 0)
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        done += got;
    }
    return static_cast<ssize_t>(done);
}
