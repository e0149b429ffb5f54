#include "platform/posix/image/ldm_database_check.h"

#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/image/ldm_layout.h"

namespace {

// Windows makes a 1 MB database; anything much larger is not one.
const unsigned long long ConfigSizeMost = 16ull << 20;
const std::uint32_t RecordSizeLeast = 32;
const std::uint32_t RecordSizeMost = 4096;
// libldm sizes a record of several entries from its count as stored,
// byte-swapped: for up to 255 entries that is never less than the count.
const unsigned EntryCountMost = 255;
// How far past a record's start libldm's parsers may read: its
// variable-length fields are each at most 256 bytes, and a volume's has ten.
const std::size_t RecordReadMost = 4096;

unsigned ReadBe16(const unsigned char *p)
{
    return static_cast<unsigned>(p[0] << 8 | p[1]);
}

std::string Number(unsigned long long value)
{
    return std::to_string(value);
}

bool TextEnds(const unsigned char *field, std::size_t size)
{
    return std::memchr(field, 0, size) != nullptr;
}

// A variable-length field: a length byte and that many bytes. False where
// it runs past `end`.
bool SkipField(const unsigned char *&at, const unsigned char *end)
{
    if (at >= end || static_cast<std::size_t>(end - at) < 1u + *at)
        return false;
    at += 1 + *at;
    return true;
}

// A component's partition count, which libldm reserves room for as soon as
// it reads it; false where its fields do not lie within `size` bytes.
bool ComponentParts(const unsigned char *record, std::size_t size, unsigned long long &parts)
{
    const unsigned char *at = record + VblkRecordHeadSize, *end = record + size;
    const unsigned char *count;
    if (!SkipField(at, end) || !SkipField(at, end) || !SkipField(at, end) || end - at < 5)
        return false;
    count = at + 5; // the component's type, then four zero bytes
    if (count >= end || static_cast<std::size_t>(end - count) < 1u + *count)
        return false;
    parts = 0;
    for (unsigned i = 1; i <= *count && i <= 8; ++i)
        parts = parts << 8 | count[i];
    return true;
}

bool CheckRecord(const unsigned char *vblk, std::size_t recordSize, unsigned long long slots, std::string &why)
{
    unsigned entry = ReadBe16(vblk + VblkEntryAt), entries = ReadBe16(vblk + VblkEntryCountAt);
    if (entries > EntryCountMost || (entries > 0 && entry >= entries)) {
        why = "a record claims entry " + Number(entry) + " of " + Number(entries);
        return false;
    }
    if (entry != 0 || (vblk[VblkHeadSize + VblkRecordTypeAt] & 0x0F) != VblkComponentKind)
        return true;
    unsigned long long parts = 0;
    if (!ComponentParts(vblk + VblkHeadSize, recordSize - VblkHeadSize, parts)) {
        why = "a component record's fields run past its record";
        return false;
    }
    if (parts > slots) {
        why = "a component claims " + Number(parts) + " partitions";
        return false;
    }
    return true;
}

} // namespace

bool CheckPrivhead(const unsigned char *privhead, std::size_t size, std::size_t sectorSize,
                   unsigned long long diskSize, unsigned long long &configStart, unsigned long long &configSize,
                   std::string &why)
{
    if (size < PrivheadSize || std::memcmp(privhead, PrivheadMagic, sizeof PrivheadMagic - 1) != 0) {
        why = "no private header (PRIVHEAD) where the partition table places it";
        return false;
    }
    for (std::size_t at : {PrivheadDiskGuidAt, PrivheadHostGuidAt, PrivheadGroupGuidAt})
        if (!TextEnds(privhead + at, PrivheadGuidTextSize)) {
            why = "the private header's GUIDs are not text";
            return false;
        }
    unsigned long long start = ReadBe64(privhead + PrivheadConfigStartAt);
    unsigned long long sectors = ReadBe64(privhead + PrivheadConfigSizeAt);
    if (sectors < TocblockSector + 1 || sectors > ConfigSizeMost / sectorSize || start > diskSize / sectorSize ||
        diskSize / sectorSize - start < sectors) {
        why = "the private header places the database at sector " + Number(start) + ", " + Number(sectors) +
              " sectors long, not within the disk's " + Number(diskSize / sectorSize);
        return false;
    }
    configStart = start * sectorSize;
    configSize = sectors * sectorSize;
    return true;
}

bool CheckLdmDatabase(const unsigned char *config, std::size_t size, std::size_t sectorSize, std::string &why)
{
    const unsigned char *toc = config + TocblockSector * sectorSize;
    if (size < (TocblockSector + 1) * sectorSize || std::memcmp(toc, TocblockMagic, sizeof TocblockMagic - 1) != 0) {
        why = "no table of contents (TOCBLOCK) in the database";
        return false;
    }
    std::size_t vmdb = 0;
    bool found = false;
    for (int i = 0; i < TocblockBitmaps && !found; ++i) {
        const unsigned char *bitmap = toc + TocblockBitmapsAt + TocBitmapSize * static_cast<std::size_t>(i);
        if (std::memcmp(bitmap, TocConfigName, sizeof TocConfigName) != 0)
            continue;
        unsigned long long start = ReadBe64(bitmap + TocBitmapStartAt);
        if (start > (size - VmdbSize) / sectorSize) {
            why = "the database header lies outside the database";
            return false;
        }
        vmdb = static_cast<std::size_t>(start) * sectorSize;
        found = true;
    }
    if (!found || std::memcmp(config + vmdb, VmdbMagic, sizeof VmdbMagic - 1) != 0) {
        why = "no database header (VMDB)";
        return false;
    }
    std::uint32_t recordSize = ReadBe32(config + vmdb + VmdbRecordSizeAt);
    std::uint32_t first = ReadBe32(config + vmdb + VmdbFirstRecordAt);
    if (recordSize < RecordSizeLeast || recordSize > RecordSizeMost || first > size - vmdb) {
        why = "the database header gives records of " + Number(recordSize) + " bytes from byte " + Number(first);
        return false;
    }
    unsigned long long slots = size / recordSize, records = 0;
    std::size_t at = vmdb + first;
    for (;; at += recordSize, ++records) {
        if (size - at < 4 || (std::memcmp(config + at, VblkMagic, 4) == 0 && size - at < recordSize)) {
            why = "the database's records run to its end";
            return false;
        }
        if (std::memcmp(config + at, VblkMagic, 4) != 0)
            break;
        if (!CheckRecord(config + at, recordSize, slots, why))
            return false;
    }
    if (size - at < RecordReadMost) {
        why = "the database's records run to its end";
        return false;
    }
    for (int kind = 0; kind < VmdbCounts; ++kind)
        if (ReadBe32(config + vmdb + VmdbVolumeCountAt + 4 * static_cast<std::size_t>(kind)) > records) {
            why = "the database header counts more records than the database holds";
            return false;
        }
    return true;
}
