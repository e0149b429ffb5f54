#include "platform/posix/image/ldm_metadata_copy.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/posix/image/gpt_layout.h"
#include "platform/posix/image/ldm_database_check.h"
#include "platform/posix/image/ldm_layout.h"
#include "platform/posix/image/mbr_layout.h"

namespace {

struct Region {
    std::uint64_t at;
    std::vector<unsigned char> bytes;
};

std::size_t SectorSize(const TSK_IMG_INFO *disk)
{
    return disk->sector_size != 0 ? disk->sector_size : 512;
}

bool ReadRegion(const TskFunctions *tsk, TSK_IMG_INFO *disk, std::uint64_t at, std::size_t size, Region &region)
{
    region.at = at;
    region.bytes.assign(size, 0);
    if (at > static_cast<std::uint64_t>(disk->size) || static_cast<std::uint64_t>(disk->size) - at < size ||
        tsk->img_read(disk, static_cast<TSK_OFF_T>(at), reinterpret_cast<char *>(region.bytes.data()), size) !=
            static_cast<ssize_t>(size)) {
        tsk->error_reset();
        return false;
    }
    return true;
}

// The GPT header and its entries, as libldm reads them, and the last sector
// of the metadata partition; false with `why` where there is none or,
// `forLibldm`, where libldm would read past the header.
bool ReadGpt(const TskFunctions *tsk, TSK_IMG_INFO *disk, bool forLibldm, std::vector<Region> &regions,
             std::uint64_t &last, std::string &why)
{
    std::size_t sector = SectorSize(disk);
    Region header;
    if (!ReadRegion(tsk, disk, GptHeaderSector * sector, sector, header) || !HasGptSignature(header.bytes.data())) {
        why = "no GPT header after its protective MBR";
        return false;
    }
    const unsigned char *fields = header.bytes.data();
    std::uint32_t headerSize = ReadLe32(fields + GptHeaderSizeAt), count = ReadLe32(fields + GptEntryCountAt);
    std::uint32_t entrySize = ReadLe32(fields + GptEntrySizeAt);
    std::uint64_t entriesAt = ReadLe64(fields + GptEntriesSectorAt);
    Region entries;
    if ((forLibldm && (headerSize < GptHeaderLeast || headerSize > sector)) || entrySize < GptEntrySizeLeast ||
        entrySize > GptEntrySizeMost || count > GptEntryCountMost || entriesAt > disk->size / sector ||
        !ReadRegion(tsk, disk, entriesAt * sector, static_cast<std::size_t>(count) * entrySize, entries)) {
        why = "its GPT header is damaged";
        return false;
    }
    for (std::uint32_t index = 0; index < count; ++index) {
        const unsigned char *entry = entries.bytes.data() + static_cast<std::size_t>(index) * entrySize;
        char type[40];
        GuidText(entry + GptEntryTypeAt, type, sizeof type);
        if (std::strcmp(type, LdmMetadataType) != 0)
            continue;
        last = ReadLe64(entry + GptEntryLastSectorAt);
        regions.push_back(header);
        regions.push_back(entries);
        return true;
    }
    why = "its GPT has no LDM metadata partition";
    return false;
}

// Where libldm looks for the private header: sector 6 when the first MBR
// entry is dynamic, the metadata partition's last sector on GPT.
bool FindPrivhead(const TskFunctions *tsk, TSK_IMG_INFO *disk, std::vector<Region> &regions, std::uint64_t &at,
                  std::string &why)
{
    Region mbr;
    if (!ReadRegion(tsk, disk, 0, BootRecordSize, mbr) || !HasBootSignature(mbr.bytes.data())) {
        why = "no partition table";
        return false;
    }
    regions.push_back(mbr);
    unsigned char type = BootRecordEntry(mbr.bytes.data(), 0)[EntryTypeAt];
    if (type == LdmMbrPartitionType) {
        at = PrivheadMbrSector;
        return true;
    }
    if (type == GptProtectiveType)
        return ReadGpt(tsk, disk, true, regions, at, why);
    why = "its dynamic partition is not the first in its partition table";
    return false;
}

} // namespace

bool IsDynamicDisk(const TskFunctions *tsk, TSK_IMG_INFO *disk)
{
    Region mbr;
    if (!ReadRegion(tsk, disk, 0, BootRecordSize, mbr) || !HasBootSignature(mbr.bytes.data()))
        return false;
    for (int entry = 0; entry < BootRecordEntries; ++entry)
        if (BootRecordEntry(mbr.bytes.data(), entry)[EntryTypeAt] == LdmMbrPartitionType)
            return true;
    std::vector<Region> regions;
    std::uint64_t last = 0;
    std::string why;
    return BootRecordEntry(mbr.bytes.data(), 0)[EntryTypeAt] == GptProtectiveType &&
           ReadGpt(tsk, disk, false, regions, last, why);
}

bool CopyLdmMetadata(const TskFunctions *tsk, TSK_IMG_INFO *disk, int &fd, Fault &fault)
{
    std::size_t sector = SectorSize(disk);
    std::vector<Region> regions;
    std::uint64_t privheadSector = 0;
    std::string why;
    Region privhead, config;
    unsigned long long configAt = 0, configSize = 0;
    bool checked = FindPrivhead(tsk, disk, regions, privheadSector, why);
    if (checked && !(privheadSector <= static_cast<std::uint64_t>(disk->size) / sector &&
                     ReadRegion(tsk, disk, privheadSector * sector, sector, privhead))) {
        why = "its private header lies past the disk's end, at sector " + std::to_string(privheadSector);
        checked = false;
    }
    checked = checked && CheckPrivhead(privhead.bytes.data(), sector, sector, static_cast<std::uint64_t>(disk->size),
                                       configAt, configSize, why);
    if (checked && !ReadRegion(tsk, disk, configAt, static_cast<std::size_t>(configSize), config)) {
        why = "its database could not be read";
        checked = false;
    }
    if (!checked || !CheckLdmDatabase(config.bytes.data(), config.bytes.size(), sector, why)) {
        fault = {"", "dynamic disk metadata not readable (" + why + ")"};
        return false;
    }
    regions.push_back(privhead);
    regions.push_back(config);
    fd = memfd_create("dorovivi-ldm", MFD_CLOEXEC);
    bool written = fd >= 0 && ftruncate(fd, static_cast<off_t>(disk->size)) == 0;
    for (const Region &region : regions)
        written = written && pwrite(fd, region.bytes.data(), region.bytes.size(), static_cast<off_t>(region.at)) ==
                                 static_cast<ssize_t>(region.bytes.size());
    if (!written) {
        fault = {"", std::string("dynamic disk metadata not copied (") + std::strerror(errno) + ")"};
        if (fd >= 0)
            close(fd);
        return false;
    }
    return true;
}
