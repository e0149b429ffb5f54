// What libvhdi does not say about a VHD or VHDX in a chain: who its parent
// is (the locators, as the hypervisor reads them) and who the file itself
// is (the identity its children record).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/posix/image/parent_lookup.h"
#include "platform/posix/image/vhd_footer.h"

struct VhdLink {
    std::string path;
    int fd = -1;
    bool vhdx = false;
    bool differencing = false;
    std::string identity;       // VHD: footer unique id (16 bytes); VHDX: DataWriteGuid as "{...}", lower case
    std::string parentIdentity; // VHD: the parent id; VHDX: parent_linkage, lower case
    std::string parentIdentity2; // VHDX: parent_linkage2, where Hyper-V wrote one
    ParentReference parent;
    std::string checksumNote; // VHD: a footer or header whose checksum fails, read on; else ""
    // VHD only: the blocks whose sector bitmap marks some sectors of an
    // 8-sector run and not the others, with that bitmap. libvhdi 20210425
    // reads such a run wrong; these are read here instead.
    std::uint32_t blockSize = 0;
    std::uint64_t bitmapBytes = 0;
    std::vector<std::uint32_t> table;
    std::map<std::uint32_t, std::vector<unsigned char>> partialBitmaps;
    // VHDX differencing only: its block table. libvhdi 20210425 reads some
    // sectors of a block this child lacks as zeros instead of the parent's.
    std::vector<std::uint64_t> vhdxTable;
    std::uint64_t chunkRatio = 0, vhdxSize = 0;
};

// The VHD open as `fd`: footer, dynamic header, locators and sector bitmaps.
bool ReadVhdLink(int fd, const std::string &path, VhdLink &link, Fault &fault);

// The VHDX open as `fd`: the current header's DataWriteGuid and, for a
// differencing disk, its parent locator.
bool ReadVhdxLink(int fd, const std::string &path, VhdLink &link, Fault &fault);
