// A damaged disk image, or one not read, answers with one line naming the
// image and the cause; damage beside the installation still answers.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "fat_disks.h"
#include "platform/posix/root/image_root.h"
#include "process_run.h"

namespace {

off_t FileSize(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

TEST(DiskImage, DamageGivesOneLineNamingTheImage)
{
    std::string raw = WriteDisk("damaged", "bare", {Fat("12", Win98("WINDOWS"))});
    ASSERT_FALSE(raw.empty());
    std::string backed = raw + ".backed.qcow2";
    ASSERT_TRUE(RunTool("qemu-img create -f qcow2 -F raw -b " + Quote(raw) + " " + Quote(backed)));
    std::string half = Convert(raw, "qcow2-v3");
    ASSERT_FALSE(half.empty());
    ASSERT_EQ(truncate(half.c_str(), FileSize(half) / 2), 0);
    // The logical partition's boot record links back to itself; Windows
    // lives on the primary, which stays readable.
    std::string looped = WriteDisk("looped", "dos", {Fat("12", Win98("WINDOWS")), Fat("12", {})}, 1);
    ASSERT_FALSE(looped.empty());
    {
        std::fstream disk(looped, std::ios::in | std::ios::out | std::ios::binary);
        unsigned char slot[16];
        disk.seekg(446 + 16);
        disk.read(reinterpret_cast<char *>(slot), sizeof slot);
        std::uint64_t extended = slot[8] | slot[9] << 8 | slot[10] << 16 | static_cast<std::uint64_t>(slot[11]) << 24;
        disk.seekp(static_cast<std::streamoff>(extended * 512 + 446 + 16));
        disk.write("\0\0\0\0\x05\0\0\0\0\0\0\0\0\x10\0\0", 16);
    }
    // A dynamic VHD whose footer at the end is gone (its copy at the start stays).
    std::string footless = Convert(raw, "vhd");
    ASSERT_FALSE(footless.empty());
    ASSERT_EQ(truncate(footless.c_str(), FileSize(footless) - 512), 0);
    // An E01 whose second segment is gone: the first ends with a link to it.
    std::string big = WriteDisk("segments", "bare", {Fat("16", Win98("WINDOWS"))});
    std::string segmented = Convert(big, "E01");
    ASSERT_FALSE(segmented.empty());
    std::string second = segmented.substr(0, segmented.size() - 2) + "02";
    ASSERT_EQ(unlink(second.c_str()), 0);
    std::string encrypted = Dir() + "/encrypted.qcow2";
    // qemu-img times its key derivation, and on a loaded machine may find no
    // CPU time to go by ("Unable to get accurate CPU usage"): it is asked again.
    bool made = false;
    for (int attempt = 0; attempt < 5 && !made; ++attempt)
        made = RunTool("qemu-img create -q -f qcow2 --object secret,id=key,data=secret -o "
                       "encrypt.format=luks,encrypt.key-secret=key " + Quote(encrypted) + " 4M");
    ASSERT_TRUE(made);
    std::string empty = Dir() + "/empty.img", noise = Dir() + "/noise.img";
    std::ofstream{empty};
    std::ofstream{noise} << std::string(100000, '\x5a');
    struct Case {
        std::string image, problem;
    } cases[] = {
        {empty, "empty file"},
        {noise, "no partition table and no FAT or NTFS file system"},
        {half, "qcow2 image cut short or damaged (its tables point past the end of the file)"},
        {encrypted, "encrypted qcow2 image, which is not read"},
        {footless, "dynamic VHD without its footer at the end of the file (cut short or damaged)"},
        {segmented, "E01 image whose segment " + second + " is missing (the ones before it end with a link to it)"},
    };
    for (const Case &c : cases) {
        Installation found = FindInDiskImage(c.image, "");
        EXPECT_EQ(found.kind, InstallationKind::None);
        EXPECT_EQ(found.problem, c.image + ": " + c.problem + "; reading an empty registry");
    }
    // Damage beside the installation, and a qcow2 over a raw disk, still answer.
    for (const std::string &readable : {looped, backed}) {
        Installation found = FindInDiskImage(readable, "");
        EXPECT_EQ(found.kind, InstallationKind::Windows9x) << found.problem;
    }
    Installation found;
    // A split image without the segment where SYSTEM.DAT starts, nor any after.
    std::size_t at = ReadFile(big).find("CREG");
    ASSERT_NE(at, std::string::npos);
    std::size_t segment = at / 2 / 512 * 512;
    ASSERT_GT(segment, 0u);
    ASSERT_TRUE(RunTool("split -b " + std::to_string(segment) + " -d -a 3 --numeric-suffixes=1 " + Quote(big) + " " +
                        Quote(big + ".")));
    std::string split = big + ".001";
    char gone[32];
    std::snprintf(gone, sizeof gone, ".%03zu", at / segment + 1);
    for (std::size_t n = at / segment + 1;; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, ".%03zu", n);
        if (unlink((big + name).c_str()) != 0)
            break;
    }
    found = FindInDiskImage(split, "");
    EXPECT_NE(found.problem.find("cut short"), std::string::npos) << found.problem;
    EXPECT_NE(found.problem.find("(the split image has no segment " + big + gone + ")"), std::string::npos)
        << found.problem;
}

} // namespace
