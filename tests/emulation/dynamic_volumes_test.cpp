// Dynamic disks Windows made (../shared/real/ldm: two disk groups, every
// volume an NTFS holding test.txt), read through ListDynamicVolumes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "platform/posix/image/callback_image.h"
#include "platform/posix/image/disk_container.h"
#include "platform/posix/image/dynamic_volumes.h"
#include "platform/posix/sandbox/child_lockdown.h"
#include "process_run.h"
#include "real_files.h"

// libldm leaks as it disposes of a disk group, in what glib allocates for it.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libldm-1.0.so\nleak:libglib-2.0.so\n";
}

namespace {

const std::string Disks2003 = "2003r2-simple-1 2003r2-spanned-1 2003r2-spanned-2 2003r2-striped-1 2003r2-striped-2 "
                              "2003r2-mirrored-1 2003r2-mirrored-2 2003r2-raid5-1 2003r2-raid5-2 2003r2-raid5-3";
const std::string Disks2008 = "2008r2-spanned-1 2008r2-spanned-2 2008r2-striped-1 2008r2-striped-2 2008r2-mirrored-1 "
                              "2008r2-mirrored-2 2008r2-raid5-1 2008r2-raid5-2 2008r2-raid5-3";

// A disk read from its file, with a few bytes changed or its end cut short.
struct PatchedDisk { int fd; std::uint64_t patchAt; std::string patch; };

ssize_t ReadPatched(void *disk, std::uint64_t offset, char *buffer, std::size_t size)
{
    const PatchedDisk &self = *static_cast<PatchedDisk *>(disk);
    ssize_t got = pread(self.fd, buffer, size, static_cast<off_t>(offset));
    for (std::size_t i = 0; got > 0 && i < self.patch.size(); ++i)
        if (self.patchAt + i >= offset && self.patchAt + i < offset + static_cast<std::uint64_t>(got))
            buffer[self.patchAt + i - offset] = self.patch[i];
    return got;
}

// The file test.txt on the NTFS in `image`; "" where it cannot be read.
std::string ReadTestFile(TSK_IMG_INFO *image)
{
    TSK_FS_INFO *fs = tsk_fs_open_img(image, 0, TSK_FS_TYPE_NTFS);
    TSK_FS_FILE *file = fs != nullptr ? tsk_fs_file_open(fs, nullptr, "/test.txt") : nullptr;
    char text[64] = "";
    ssize_t got = file != nullptr ? tsk_fs_file_read(file, 0, text, sizeof text - 1, TSK_FS_FILE_READ_FLAG_NONE) : -1;
    tsk_fs_file_close(file);
    tsk_fs_close(fs);
    return got > 0 ? std::string(text, static_cast<std::size_t>(got)) : "";
}

struct Listed { bool listed; std::vector<DynamicVolume> volumes; std::vector<std::string> notes; };

class DynamicVolumes : public ::testing::Test {
protected:
    static std::string dir;
    std::vector<PatchedDisk> patched = std::vector<PatchedDisk>(10, {-1, 0, ""});
    std::vector<TSK_IMG_INFO *> opened;
    Fault fault;
    const TskFunctions *tsk = TskLibrary(fault);

    static void SetUpTestSuite()
    {
        if (RealFilesHere(DOROVIVI_REAL_LDM)) {
            dir = MakeTempDir("dorovivi-ldm");
            ASSERT_EQ(std::system(("tar xSJf '" DOROVIVI_REAL_LDM "' -C " + dir).c_str()), 0);
        }
    }
    static void TearDownTestSuite() { RemoveTree(dir); }
    void SetUp() override { NEEDS_REAL(!dir.empty(), DOROVIVI_REAL_LDM); }
    void TearDown() override
    {
        for (TSK_IMG_INFO *image : opened)
            tsk_img_close(image);
        for (const PatchedDisk &disk : patched)
            close(disk.fd);
    }

    // The disks named (without "ldm-" and ".img"; with ".qcow2" or ".vhd",
    // in that container), the first patched at `at` or, with an empty patch,
    // cut short there.
    std::vector<TSK_IMG_INFO *> Open(const std::string &names, std::uint64_t at = 0, const std::string &patch = "")
    {
        std::istringstream list(names);
        std::vector<TSK_IMG_INFO *> disks;
        for (std::string name; list >> name; at = 0) {
            std::size_t dot = name.find('.');
            std::string base = dir + "/ldm-" + name.substr(0, dot), path = dir + "/ldm-" + name;
            std::vector<std::string> notes;
            PatchedDisk &disk = patched[disks.size()];
            close(disk.fd);
            disk = {open((base + ".img").c_str(), O_RDONLY | O_CLOEXEC), at, disks.empty() ? patch : ""};
            std::uint64_t size = at != 0 && patch.empty() ? at : static_cast<std::uint64_t>(lseek(disk.fd, 0, SEEK_END));
            std::string format = dot == std::string::npos ? "" : name.substr(dot) == ".vhd" ? "vpc" : "qcow2";
            EXPECT_EQ(format.empty() ? 0 : std::system(("qemu-img convert -O " + format + " " + base + ".img " + path).c_str()), 0);
            disks.push_back(nullptr);
            EXPECT_TRUE(format.empty() ? OpenCallbackImage(tsk, &disk, ReadPatched, nullptr, size, "test", disks.back(), fault)
                                       : OpenDiskImage(tsk, path, disks.back(), notes, fault));
            opened.push_back(disks.back());
        }
        return disks;
    }

    Listed List(const std::vector<TSK_IMG_INFO *> &disks)
    {
        Listed listed;
        listed.listed = ListDynamicVolumes(tsk, disks, listed.volumes, listed.notes, fault);
        for (const DynamicVolume &volume : listed.volumes)
            if (volume.image != nullptr)
                opened.push_back(volume.image);
        return listed;
    }
};
std::string DynamicVolumes::dir;

TEST_F(DynamicVolumes, EachVolumeReadsItsFileOrNamesTheDisksItLacks)
{
    const std::string r5 = "WIN-ERRDJSBDAVF-Dg0 Volume4: read through parity, without ";
    const std::string half = "WIN-ERRDJSBDAVF-Dg0 Volume3: read from the half that is there, without ";
    const struct { std::string disks, volume, lacking, note; } rows[] = {
        {Disks2003, "Volume1", "", ""}, // simple
        {Disks2003, "Volume2", "", ""}, // spanned, its second disk first
        {Disks2003, "Stripe1", "", ""},
        {Disks2003, "Volume3", "", ""}, // mirrored
        {Disks2003, "Raid1", "", ""},
        {Disks2003, "Volume4", "", ""}, // spanned over the striped disks' second partitions
        {Disks2008, "Volume1", "", ""}, // spanned, MBR and GPT disks
        {Disks2008, "Volume2", "", ""}, // striped
        {Disks2008, "Volume3", "", ""}, // mirrored
        {Disks2008, "Volume4", "", ""}, // RAID-5
        {Disks2008, "Volume5", "", ""}, // spanned over three disks
        {"2008r2-mirrored-1", "Volume3", "", half + "Disk6"},
        {"2008r2-mirrored-2", "Volume3", "", half + "Disk5"},
        {"2008r2-raid5-1 2008r2-raid5-3", "Volume4", "", r5 + "Disk8"},
        {"2008r2-raid5-2 2008r2-raid5-3", "Volume4", "", r5 + "Disk7"},
        {"2008r2-raid5-1.qcow2 2008r2-raid5-3.vhd", "Volume4", "", r5 + "Disk8"}, // in containers
        {"2003r2-raid5-1 2003r2-raid5-2", "Raid1", "", "Red-nzv8x6obywgDg0 Raid1: read through parity, without Disk10"},
        {"2008r2-raid5-1", "Volume4", "Disk8, Disk9", ""},
        {"2008r2-spanned-1", "Volume1", "Disk2", ""},
        {"2008r2-striped-2", "Volume2", "Disk3", ""},
        {"2003r2-spanned-1", "Volume2", "Disk3", ""},
        {"2008r2-mirrored-1 2008r2-striped-1", "Volume5", "Disk7", half + "Disk6"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.disks + ": " + row.volume);
        Listed listed = List(Open(row.disks));
        ASSERT_TRUE(listed.listed);
        EXPECT_EQ(listed.notes, row.note.empty() ? std::vector<std::string>() : std::vector<std::string>({row.note}));
        auto found = std::find_if(listed.volumes.begin(), listed.volumes.end(),
                                  [&](const DynamicVolume &v) { return v.name == row.volume; });
        ASSERT_NE(found, listed.volumes.end());
        EXPECT_EQ(found->lacking, row.lacking);
        EXPECT_EQ(found->image != nullptr ? ReadTestFile(found->image) : "", row.lacking.empty() ? "Filesystem test" : "");
    }
}

// The image child reads with every library loaded first, then no file open
// to it: libldm gets its copies from memfd_create, which the filter allows.
TEST_F(DynamicVolumes, RaidReadsThroughParityInALockedDownChild)
{
    pid_t child = fork();
    if (child == 0) {
        LockdownReport report;
        std::vector<TSK_IMG_INFO *> disks = Open("2008r2-raid5-1 2008r2-raid5-3");
        if (LoadImageLibraries(fault) && LoadDynamicDiskLibrary(fault))
            LockDownChild(nullptr, 0, report);
        if (!report.landlock || !report.seccomp || open(DOROVIVI_REAL_LDM, O_RDONLY) >= 0)
            _exit(4);
        Listed listed = List(disks);
        _exit(listed.volumes.size() == 5 && ReadTestFile(listed.volumes[0].image) == "Filesystem test" ? 0 : 5); // Volume4
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
}

// What ldmtool lists for the same disks: the volumes, in its order.
TEST_F(DynamicVolumes, ListAgreesWithLdmtool)
{
    if (std::system("command -v ldmtool >/dev/null") != 0)
        GTEST_SKIP() << "needs ldmtool";
    for (const std::string &disks : {Disks2003, Disks2008}) {
        std::string command = "cd " + dir + " && f=$(printf 'ldm-%s.img ' " + disks + ") && ldmtool $(printf -- '-d %s ' "
                              "$f) show diskgroup $(ldmtool scan $f 2>/dev/null | grep -o '[0-9a-f-]\\{36\\}') "
                              "2>/dev/null | tr -d ' \\n' | grep -o '\"volumes\":[^]]*'";
        FILE *shown = popen(command.c_str(), "r");
        char text[512] = "";
        std::string theirs(text, fread(text, 1, sizeof text - 1, shown)), ours = "\"volumes\":[";
        pclose(shown);
        for (const DynamicVolume &volume : List(Open(disks)).volumes)
            ours += (ours.back() == '[' ? "\"" : ",\"") + volume.name + "\"";
        EXPECT_EQ(theirs, ours + "\n");
    }
}

// Metadata copied from a real disk and damaged: one line for the disk, and
// neither libldm nor the reader reads outside what it was handed (the fuzz
// target tries any bytes).
TEST_F(DynamicVolumes, DamagedMetadataIsNamed)
{
    const std::uint64_t privhead = 6 * 512, config = 100352ull * 512, vmdb = config + 17 * 512;
    const struct { const char *disk; std::uint64_t at; std::string patch, note; } rows[] = {
        {"2008r2-spanned-1", config + 4096, "", "the private header places the database at sector 100352, 2048 "
                                                 "sectors long, not within the disk's 100360"},
        {"2008r2-spanned-1", privhead, "PRIVHEAX", "no private header (PRIVHEAD) where the partition table places it"},
        {"2008r2-spanned-1", privhead + 0x30 + 36, std::string(28, 'x'), "the private header's GUIDs are not text"},
        {"2008r2-spanned-1", config + 1024, "X", "no table of contents (TOCBLOCK) in the database"},
        {"2008r2-spanned-1", config + 1024 + 46, "\x10", "the database header lies outside the database"},
        {"2008r2-spanned-1", vmdb + 8, std::string("\0\0\0\x08", 4), "the database header gives records of 8 bytes from byte 512"},
        {"2008r2-spanned-1", vmdb + 133, "\xff\xff\xff\xff", "the database header counts more records than the database holds"},
        {"2008r2-spanned-1", vmdb + 512 + 14, std::string("\x01\0", 2), "a record claims entry 0 of 256"},
        // Volume1's component, its count of partitions (libldm would reserve 32 GB for it)
        {"2008r2-spanned-1", config + 9777, "\x04\xff\xff\xff\xff", "a component claims 4294967295 partitions"},
        {"2008r2-raid5-2", 512 + 12, std::string("\x08\0", 2), "its GPT header is damaged"},
        {"2008r2-raid5-2", 512 + 16, "\x5a", "disk 1 contains an invalid GPT header"}, // its checksum, as libldm says
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.disk) + " at " + std::to_string(row.at));
        Listed listed = List(Open(row.disk, row.at, row.patch));
        EXPECT_TRUE(listed.listed);
        EXPECT_EQ(listed.notes, std::vector<std::string>({"disk 1: dynamic disk metadata not readable (" + row.note + ")"}));
        EXPECT_EQ(listed.volumes.size(), 0u);
    }
}

} // namespace
