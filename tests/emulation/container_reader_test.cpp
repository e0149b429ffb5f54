// The container readers this program relies on below libtsk: its own VDI
// and VMDK sparse extent readers over hostile headers, and the libvhdi behaviour the VHD reader
// guards against.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <libvhdi.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "differencing_writer.h"
#include "platform/posix/image/vdi_image.h"
#include "platform/posix/image/vmdk_sparse.h"
#include "process_run.h"

namespace {

// The VDI reader over hostile headers: each refusal names its cause; no
// mutation here may read outside the file.
TEST(DiskChain, VdiHeaderFaultsAreNamed)
{
    std::string dir = MakeTempDir("dorovivi-vdi"), error, uuid;
    WriteFile(dir + "/disk.raw", std::string(3 << 20, 'd'));
    ASSERT_TRUE(WriteVdi("", "", dir + "/disk.raw", 1, dir + "/disk.vdi", &uuid, &error)) << error;
    std::ifstream in(dir + "/disk.vdi", std::ios::binary);
    const std::string good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto le32 = [](std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    struct Case {
        const char *what;
        std::size_t at;
        std::string bytes; // written at `at`; "" with at 0: the file cut to `cut`
        std::size_t cut;
        const char *problem; // "" when it reads
    } cases[] = {
        {"sound", 0, "", 0, ""},
        {"header cut short", 0, "", 0x100, "its header is cut short"},
        {"version 1.0", 0x44, le32(0x00010000), 0, "version 1.0, which is not read"},
        {"undo image type", 0x4C, le32(3), 0, "of type 3, which is not read"},
        {"block size zero", 0x178, le32(0), 0, "sizes do not fit together"},
        {"block size not of sectors", 0x178, le32(1000), 0, "sizes do not fit together"},
        {"more disk than blocks", 0x170, std::string("\0\0\0\x01\0\0\0\0", 8), 0, "sizes do not fit together"},
        {"block map past the end", 0x154, le32(0x7FFFFFF0), 0, "sizes do not fit together"},
        {"a block index past the map", 0x200, le32(7), 0, "block 0 lies past the end of the file"},
        {"data cut off", 0, "", 0x400 + (3 << 20) - 4096, "block 2 lies past the end of the file"},
        {"zero block", 0x200, le32(0xFFFFFFFE), 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = c.cut != 0 ? good.substr(0, c.cut) : good;
        bytes.replace(c.at, c.bytes.size(), c.bytes);
        WriteFile(dir + "/case.vdi", bytes);
        int fd = open((dir + "/case.vdi").c_str(), O_RDONLY);
        VdiLayer layer;
        Fault fault;
        bool read = ReadVdiLayer(fd, "case.vdi", layer, fault);
        EXPECT_EQ(read, c.problem[0] == '\0') << fault.words;
        EXPECT_NE(fault.words.find(c.problem), std::string::npos) << fault.words;
        if (read) {
            std::string disk(layer.diskSize, '\0');
            EXPECT_EQ(ReadVdi(&layer, 0, &disk[0], disk.size()), static_cast<ssize_t>(disk.size()));
            EXPECT_EQ(disk.substr(0, 1 << 20), std::string(1 << 20, c.at == 0x200 ? '\0' : 'd'));
        }
        close(fd);
    }
    RemoveTree(dir);
}

// The VMDK sparse extent reader over hostile headers and grain tables, on a
// monolithic sparse file qemu-img wrote of 3 MiB of 'd' (64 KiB grains).
TEST(DiskChain, VmdkSparseExtentFaultsAreNamed)
{
    std::string dir = MakeTempDir("dorovivi-vmdk");
    WriteFile(dir + "/disk.raw", std::string(3 << 20, 'd'));
    ASSERT_EQ(std::system(("qemu-img convert -f raw -O vmdk " + dir + "/disk.raw " + dir + "/disk.vmdk").c_str()), 0);
    std::ifstream in(dir + "/disk.vmdk", std::ios::binary);
    const std::string good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto le32 = [](std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    auto at32 = [](const std::string &in, std::size_t at) {
        return std::uint32_t(std::uint8_t(in[at])) | std::uint32_t(std::uint8_t(in[at + 1])) << 8 |
               std::uint32_t(std::uint8_t(in[at + 2])) << 16 | std::uint32_t(std::uint8_t(in[at + 3])) << 24;
    };
    const std::size_t table = std::size_t(at32(good, std::size_t(at32(good, 56)) * 512)) * 512; // grain 0's entry
    const std::string withZeroed = le32(at32(good, 8) | 4);
    struct Case {
        const char *what;
        std::size_t at;
        std::string bytes; // written at `at`; "" with at 0: the file cut to `cut`
        std::size_t cut;
        VmdkExtentKind kind;
        const char *problem; // for Damaged
        int grain0;          // for Sparse: 0 data, 1 zeros, 2 absent, -1 a failed read
        std::string flags = "";   // written over the header's flags unless ""
    } cases[] = {
        {"sound", 0, "", 0, VmdkExtentKind::Sparse, "", 0},
        {"version 4", 4, le32(4), 0, VmdkExtentKind::Damaged, "of version 4, which is not read", 0},
        {"grain size zero", 20, std::string(8, '\0'), 0, VmdkExtentKind::Damaged, "sizes do not fit together", 0},
        {"grain tables of 4096 entries", 44, le32(4096), 0, VmdkExtentKind::Damaged, "sizes do not fit together", 0},
        {"grain directory past the end", 56, le32(0x7FFFFFF0), 0, VmdkExtentKind::Damaged, "lies past the end", 0},
        {"cut before its grain directory", 0, "", 1024, VmdkExtentKind::Damaged, "lies past the end", 0},
        {"stream-optimized flags", 8, le32(0x30000), 0, VmdkExtentKind::Other, "", 0},
        {"no sparse header", 0, "# Disk DescriptorFile", 0, VmdkExtentKind::Other, "", 0},
        {"zeroed grain", table, le32(1), 0, VmdkExtentKind::Sparse, "", 1, withZeroed},
        {"zeroed-grain flag over a present grain", 8, withZeroed, 0, VmdkExtentKind::Sparse, "", 0},
        {"entry 1 without the zeroed-grain flag", table, le32(1), 0, VmdkExtentKind::Sparse, "", 0},
        {"absent grain", table, le32(0), 0, VmdkExtentKind::Sparse, "", 2},
        {"grain past the end", table, le32(0x7FFFFFF0), 0, VmdkExtentKind::Sparse, "", -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = c.cut != 0 ? good.substr(0, c.cut) : good;
        bytes.replace(c.at, c.bytes.size(), c.bytes);
        bytes.replace(8, c.flags.size(), c.flags);
        WriteFile(dir + "/case.vmdk", bytes);
        int fd = open((dir + "/case.vmdk").c_str(), O_RDONLY);
        VmdkSparseExtent extent = {};
        Fault fault;
        VmdkExtentKind kind = ReadVmdkSparseExtent(fd, "case.vmdk", extent, fault);
        EXPECT_EQ(kind, c.kind) << FaultText(fault);
        if (c.kind == VmdkExtentKind::Damaged) {
            EXPECT_EQ(fault.file, "case.vmdk");
            EXPECT_EQ(fault.words.find("VMDK sparse extent "), 0u) << fault.words;
            EXPECT_NE(fault.words.find(c.problem), std::string::npos) << fault.words;
        }
        if (kind == VmdkExtentKind::Sparse) {
            VmdkGrain state = VmdkGrain::Absent;
            std::uint64_t where = 0, run = 0;
            bool found = FindVmdkGrain(extent, 100, state, where, run);
            EXPECT_EQ(found, c.grain0 >= 0);
            if (found) {
                EXPECT_EQ(int(state), c.grain0 == 0 ? int(VmdkGrain::Data) : c.grain0 == 1 ? int(VmdkGrain::Zeroed)
                                                                                          : int(VmdkGrain::Absent));
                EXPECT_EQ(run, 65536u - 100);
            }
            // Without the flag, entry 1 is a sector number like any: the header's next sector.
            if (found && state == VmdkGrain::Data) {
                EXPECT_EQ(where, std::uint64_t(at32(bytes, table)) * 512 + 100);
            }
        }
        close(fd);
    }
    RemoveTree(dir);
}

// libvhdi 20210425 reads a differencing VHD's sector bitmap a byte (8
// sectors) at a time: where a child holds sector 3 of a 4 KiB run and not
// sectors 4 to 7, those come from the child's block too, not from the parent.
TEST(DiskChain, LibvhdiReadsAPartialSectorRunFromTheChild)
{
    std::string dir = MakeTempDir("dorovivi-vhdi"), error;
    std::string base = dir + "/base.raw", child = dir + "/child.raw";
    std::mt19937 random(7);
    std::string bytes(4 << 20, '\0');
    for (char &c : bytes)
        c = static_cast<char>(random());
    WriteFile(base, bytes);
    bytes.replace(3 * 512, 512, std::string(512, 'c'));
    WriteFile(child, bytes);
    ASSERT_EQ(std::system(("qemu-img convert -f raw -O vpc " + base + " " + dir + "/base.vhd").c_str()), 0);
    ASSERT_TRUE(WriteDifferencingVhd(dir + "/base.vhd", base, child, {"base.vhd", ""}, dir + "/child.vhd", &error))
        << error;
    libvhdi_file_t *parentFile = nullptr, *childFile = nullptr;
    ASSERT_EQ(libvhdi_file_initialize(&parentFile, nullptr), 1);
    ASSERT_EQ(libvhdi_file_initialize(&childFile, nullptr), 1);
    ASSERT_EQ(libvhdi_file_open(parentFile, (dir + "/base.vhd").c_str(), LIBVHDI_OPEN_READ, nullptr), 1);
    ASSERT_EQ(libvhdi_file_open(childFile, (dir + "/child.vhd").c_str(), LIBVHDI_OPEN_READ, nullptr), 1);
    ASSERT_EQ(libvhdi_file_set_parent_file(childFile, parentFile, nullptr), 1);
    for (int sector = 0; sector < 16; ++sector) {
        char got[512];
        ASSERT_EQ(libvhdi_file_read_buffer_at_offset(childFile, got, 512, sector * 512, nullptr), 512);
        bool right = bytes.compare(sector * 512, 512, got, 512) == 0;
        SCOPED_TRACE(sector);
        EXPECT_EQ(right, sector < 4 || sector > 7) << "libvhdi changed: the VHD reader's guard may go";
    }
    libvhdi_file_free(&childFile, nullptr);
    libvhdi_file_free(&parentFile, nullptr);
    RemoveTree(dir);
}

} // namespace
