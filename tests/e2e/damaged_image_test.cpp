// The shipped binary over an NT drive in a disk image damaged in one place.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "disk_image_writer.h"
#include "image_run.h"
#include "process_run.h"

namespace {

void Patch(const std::string &path, std::uint64_t at, const std::string &bytes)
{
    int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

std::uint64_t FileSize(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

// Where a FAT16 file system at `fs` in `disk` keeps its first FAT, its second,
// and its data area, and the size of a cluster.
struct FatPlaces {
    std::uint64_t fat1, fat2, data, cluster;
};

FatPlaces Fat16Places(const std::string &disk, std::uint64_t fs)
{
    std::uint64_t sector = Le(disk, fs + 0x0B, 2), reserved = Le(disk, fs + 0x0E, 2);
    std::uint64_t fatSectors = Le(disk, fs + 0x16, 2);
    std::uint64_t fat1 = fs + reserved * sector, fat2 = fat1 + fatSectors * sector;
    return {fat1, fat2, fat2 + fatSectors * sector + Le(disk, fs + 0x11, 2) * 32, sector * Le(disk, fs + 0x0D, 1)};
}

// An NT drive in a disk image, damaged in one place: where the damage makes
// the installation unreadable, the empty answer and one line naming the
// image; elsewhere, the answer stands.
TEST(DamagedImage, EmptyAnswerWithOneLineOrTheAnswerUnchanged)
{
    typedef void (*DamageDisk)(const std::string &raw, const std::vector<PlacedPartition> &placed);
    typedef void (*DamageImage)(const std::string &image);
    struct Case {
        const char *what;
        FileSystem system;
        Layout layout;
        Container container;
        DamageDisk onDisk;    // before the disk goes into its container
        DamageImage onImage;  // after
        bool readable = false; // the damage leaves the installation readable
        const char *line = nullptr; // readable, with this said once on stderr
    };
    const Case cases[] = {
        {"empty file", FileSystem::Ntfs, Layout::Bare, Container::Raw, nullptr,
         [](const std::string &image) { WriteFile(image, ""); }},
        {"random bytes", FileSystem::Ntfs, Layout::Bare, Container::Raw, nullptr,
         [](const std::string &image) { WriteFile(image, Noise(1 << 20, 7)); }},
        {"truncated inside the file system", FileSystem::Fat16, Layout::Mbr, Container::Raw,
         [](const std::string &raw, const std::vector<PlacedPartition> &placed) {
             CutAt(raw, placed[0].offset + 65536);
         },
         nullptr},
        {"truncated inside the registry file", FileSystem::Fat16, Layout::Mbr, Container::SplitRaw,
         [](const std::string &raw, const std::vector<PlacedPartition> &placed) {
             std::size_t hive = ReadFile(raw).find("regf", placed[0].offset);
             ASSERT_NE(hive, std::string::npos);
             CutAt(raw, hive + 2048);
         },
         nullptr},
        {"a partition starting past the end", FileSystem::Fat16, Layout::Mbr, Container::Raw,
         [](const std::string &raw, const std::vector<PlacedPartition> &) { Patch(raw, 446 + 8, LeBytes(1 << 22, 4)); },
         nullptr},
        // The installation is the primary partition; the logical one's boot
        // record links back to itself, which Windows reads past.
        {"an extended chain that links to itself", FileSystem::Ntfs, Layout::MbrLogical, Container::Raw,
         [](const std::string &raw, const std::vector<PlacedPartition> &placed) {
             std::uint64_t record = placed[1].offset - (1 << 20);
             Patch(raw, record + 446 + 16, std::string("\0\0\0\0\x05\0\0\0", 8) + LeBytes(0, 4) + LeBytes(4096, 4));
         },
         nullptr, true, "the extended partition's chain of boot records loops"},
        {"a FAT cluster chain that loops", FileSystem::Fat16, Layout::Mbr, Container::Raw,
         [](const std::string &raw, const std::vector<PlacedPartition> &placed) {
             std::string disk = ReadFile(raw);
             FatPlaces fat = Fat16Places(disk, placed[0].offset);
             std::size_t hive = disk.find("regf", fat.data);
             ASSERT_NE(hive, std::string::npos);
             std::uint64_t cluster = (hive - fat.data) / fat.cluster + 2;
             for (std::uint64_t table : {fat.fat1, fat.fat2})
                 Patch(raw, table + cluster * 2, LeBytes(cluster, 2));
         },
         nullptr},
        {"NTFS $MFT overwritten", FileSystem::Ntfs, Layout::Gpt, Container::Raw,
         [](const std::string &raw, const std::vector<PlacedPartition> &placed) {
             std::string disk = ReadFile(raw);
             std::uint64_t fs = placed[0].offset;
             std::uint64_t mft = fs + Le(disk, fs + 0x30, 8) * Le(disk, fs + 0x0D, 1) * Le(disk, fs + 0x0B, 2);
             Patch(raw, mft, Noise(16384, 3));
         },
         nullptr},
        {"VHD with footer and header zeroed", FileSystem::Ntfs, Layout::Mbr, Container::VhdDynamic, nullptr,
         [](const std::string &image) {
             Patch(image, 0, std::string(1536, '\0'));
             Patch(image, FileSize(image) - 512, std::string(512, '\0'));
         }},
        // Halving a qcow2 file may keep every cluster the installation needs;
        // cut where the first hive's data lies instead.
        {"qcow2 cut inside a hive", FileSystem::Ntfs, Layout::Mbr, Container::Qcow2V3, nullptr,
         [](const std::string &image) {
             std::size_t hive = ReadFile(image).find("regf");
             ASSERT_NE(hive, std::string::npos);
             CutAt(image, hive + 4096 + 512);
         }},
        {"E01 cut in half", FileSystem::Ntfs, Layout::Mbr, Container::E01, nullptr,
         [](const std::string &image) { CutAt(image, FileSize(image) / 2); }},
        {"noise after the last partition", FileSystem::Fat16, Layout::Mbr, Container::Raw,
         [](const std::string &raw, const std::vector<PlacedPartition> &placed) {
             Patch(raw, placed[0].offset + placed[0].size, Noise(1 << 20, 5));
         },
         nullptr, true},
        {"GPT backup zeroed", FileSystem::Ntfs, Layout::Gpt, Container::Raw,
         [](const std::string &raw, const std::vector<PlacedPartition> &) {
             Patch(raw, FileSize(raw) - 33 * 512, std::string(33 * 512, '\0'));
         },
         nullptr, true},
        {"second FAT zeroed", FileSystem::Fat16, Layout::Mbr, Container::Raw,
         [](const std::string &raw, const std::vector<PlacedPartition> &placed) {
             FatPlaces fat = Fat16Places(ReadFile(raw), placed[0].offset);
             Patch(raw, fat.fat2, std::string(fat.data - fat.fat2 < 8192 ? fat.data - fat.fat2 : 8192, '\0'));
         },
         nullptr, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string dir = MakeTempDir("dorovivi-damaged-image");
        std::string tree = WriteNtTree(dir + "/tree");
        std::vector<ImagePartition> partitions = {FsPartition(c.system, tree, true)};
        if (c.layout == Layout::MbrLogical)
            partitions.push_back(FsPartition(FileSystem::Fat12, "", false));
        std::vector<PlacedPartition> placed;
        std::string error, raw = dir + "/disk.raw";
        ASSERT_TRUE(WriteRawDisk(partitions, c.layout, raw, &placed, &error)) << error;
        if (c.onDisk != nullptr)
            c.onDisk(raw, placed);
        std::string image = WriteContainer(raw, c.container, dir, "disk", &error);
        ASSERT_NE(image, "") << error;
        if (c.onImage != nullptr)
            c.onImage(image);
        ImageRun run = RunOverImage(image, dir, {"H"});
        EXPECT_EQ(run.result.exitCode, c.readable ? 0 : 2);
        EXPECT_EQ(run.result.output, c.readable ? NtAnswer : "XXXXXX");
        if (c.readable && c.line != nullptr) {
            EXPECT_NE(run.errors.find(c.line), std::string::npos) << run.errors;
            EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << run.errors;
        } else if (c.readable) {
            EXPECT_EQ(run.errors, "");
        } else {
            EXPECT_NE(run.errors.find(image), std::string::npos) << run.errors;
            EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << run.errors;
        }
        RemoveTree(dir);
    }
}

} // namespace
