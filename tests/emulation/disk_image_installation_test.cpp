// An installation read straight out of a disk image: what libtsk 4.11.1 and
// libqcow are relied on for (containers found by content, split and E01
// segments found from the first, MBR chains and GPT, FAT) and the choice
// rules as they apply to a disk. Images are written here with mkfs.fat,
// mtools, sfdisk, qemu-img and ewfacquire; none is kept.
#include <gtest/gtest.h>

#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

#include "fat_disks.h"
#include "platform/posix/root/image_root.h"
#include "registry_files.h"

namespace {

const std::string HiveSystem = "regf system", HiveSoftware = "regf software";
const std::string BootNt2 = "[boot loader]\r\ndefault=multi(0)disk(0)rdisk(0)partition(2)\\WINNT\r\n";

std::vector<File> WinNt(const std::string &dir)
{
    return {{dir + "/SYSTEM32/CONFIG/SYSTEM", HiveSystem}, {dir + "/SYSTEM32/CONFIG/SOFTWARE", HiveSoftware}};
}

std::vector<File> operator+(std::vector<File> a, const std::vector<File> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Part Other(int type, const std::string &gptType = "")
{
    Part p;
    p.type = type;
    p.sectors = 512;
    p.gptType = gptType.empty() ? p.gptType : gptType;
    return p;
}

TEST(DiskImage, InstallationAsTheDiskNamesIt)
{
    // Room for a file past the first 64 KiB of the disk.
    const File filler = {"FILLER.BIN", std::string(96 * 1024, 'f')};
    struct Case {
        const char *what;
        std::string label;
        std::vector<Part> parts;
        std::size_t logicalFrom;
        std::string container, windir;
        InstallationKind kind;
        std::string registry; // after "<image>: "; for a refusal, what the problem holds
        std::string systemLogs = ""; // their bytes, one after the other
        std::string software = HiveSoftware; // NT: "" when missing
    };
    const Case cases[] = {
        {"bare FAT12", "bare", {Fat("12", Win98("WINDOWS"))}, 0, "raw", "", InstallationKind::Windows9x,
         "partition(1)\\WINDOWS\\SYSTEM.DAT"},
        {"MBR FAT16, NT on the second, boot.ini on the first names it", "dos",
         {Fat("16", {{"BOOT.INI", BootNt2}}, true), Fat("16", WinNt("WINNT"))}, 0, "raw", "", InstallationKind::WindowsNt,
         "partition(2)\\WINNT\\SYSTEM32\\CONFIG\\SYSTEM"},
        {"two installations, nothing names one", "dos", {Fat("16", Win98("WIN98")), Fat("16", WinNt("WINNT"))}, 0, "raw",
         "", InstallationKind::None, "names one: partition(1)\\WIN98, partition(2)\\WINNT; set DOROVIVI_WINDIR to one"},
        {"DOROVIVI_WINDIR wins over boot.ini", "dos",
         {Fat("16", std::vector<File>{{"boot.ini", BootNt2}} + Win98("WIN98"), true), Fat("16", WinNt("WINNT"))}, 0,
         "raw", "partition(1)\\win98", InstallationKind::Windows9x, "partition(1)\\WIN98\\SYSTEM.DAT"},
        {"DOROVIVI_WINDIR names nothing", "dos", {Fat("16", WinNt("WINNT"))}, 0, "raw", "partition(2)\\WINNT",
         InstallationKind::None, "DOROVIVI_WINDIR=partition(2)\\WINNT names no Windows installation"},
        {"the bootable partition's MSDOS.SYS decides", "dos",
         {Fat("12", Win98("WINDOWS")), Fat("12", std::vector<File>{{"MSDOS.SYS", "[Paths]\r\nWinDir=C:\\WIN98\r\n"}} +
                                                     Win98("WIN98") + Win98("OTHER"), true)},
         0, "raw", "", InstallationKind::Windows9x, "partition(2)\\WIN98\\SYSTEM.DAT"},
        {"logicals count after the primaries, other types count too", "dos",
         {Other(7), Fat("12", {}), Fat("16", WinNt("WINNT"))}, 1, "raw", "partition(3)\\WINNT",
         InstallationKind::WindowsNt, "partition(3)\\WINNT\\SYSTEM32\\CONFIG\\SYSTEM"},
        {"no file system but another type", "dos", {Other(7)}, 0, "raw", "", InstallationKind::None,
         "partition(1) (NTFS / exFAT (0x07)): no FAT or NTFS file system read there"},
        {"GPT, entries in order", "gpt", {Fat("12", {}), Fat("12", Win98("WINDOWS"))}, 0, "raw", "",
         InstallationKind::Windows9x, "partition(2)\\WINDOWS\\SYSTEM.DAT"},
        // Microsoft reserved, EFI system and recovery partitions without FAT or NTFS; then basic data.
        {"GPT, Windows' own partitions are no damage", "gpt",
         {Other(0, "E3C9E316-0B5C-4DB8-817D-F92DF00215AE"), Other(0, "C12A7328-F81F-11D2-BA4B-00A0C93EC93B"),
          Other(0, "DE94BBA4-06D1-4D40-A16A-BFD50179D6AC"), Other(0), Fat("12", {})},
         0, "raw", "", InstallationKind::None,
         ": partition(4): no FAT or NTFS file system read there; no Windows installation"},
        {"NT without SOFTWARE", "dos", {Fat("16", {{"WINNT/SYSTEM32/CONFIG/SYSTEM", HiveSystem}})}, 0, "raw", "",
         InstallationKind::WindowsNt, "partition(1)\\WINNT\\SYSTEM32\\CONFIG\\SYSTEM", "", ""},
        {"FAT32, logs beside the hive", "dos",
         {Fat("32", WinNt("WINDOWS") + std::vector<File>{{"WINDOWS/SYSTEM32/CONFIG/SYSTEM.LOG2", "log two"},
                                                         {"WINDOWS/SYSTEM32/CONFIG/SYSTEM.LOG1", "log one"}})},
         0, "raw", "", InstallationKind::WindowsNt, "partition(1)\\WINDOWS\\SYSTEM32\\CONFIG\\SYSTEM", "log onelog two"},
    };
    const char *containers[] = {"split", "E01",   "vhd-fixed", "vhd",       "vmdk", "vmdk-flat", "qcow2-v2",
                                "qcow2-v3", "vhdx", "vhdx-fixed", "vdi", "vdi-fixed"};
    std::vector<Case> all(std::begin(cases), std::end(cases));
    for (const char *container : containers) // every container carries the first row, its file past 64 KiB
        all.push_back({container, "bare", {Fat("12", std::vector<File>{filler} + Win98("WINDOWS"))}, 0, container, "",
                       InstallationKind::Windows9x, "partition(1)\\WINDOWS\\SYSTEM.DAT"});
    int number = 0;
    for (const Case &c : all) {
        SCOPED_TRACE(c.what);
        std::string raw = WriteDisk("disk" + std::to_string(++number), c.label, c.parts, c.logicalFrom);
        ASSERT_FALSE(raw.empty());
        std::string image = Convert(raw, c.container);
        ASSERT_FALSE(image.empty());
        {
            Installation found = FindInDiskImage(image, c.windir);
            EXPECT_EQ(found.kind, c.kind) << found.problem;
            EXPECT_TRUE(found.windowsFound); // the atom table stays off an image
            EXPECT_EQ(ChildrenLeft(), c.kind != InstallationKind::None); // serving the files it found, if any
            if (c.kind == InstallationKind::None) {
                EXPECT_NE(found.problem.find(c.registry), std::string::npos) << found.problem;
                EXPECT_EQ(found.problem.rfind(image + ": ", 0), 0u) << found.problem;
                EXPECT_FALSE(found.registry.Open());
                continue;
            }
            EXPECT_EQ(found.registry.name, image + ": " + c.registry);
            EXPECT_EQ(ReadRegistryFile(found.registry), c.kind == InstallationKind::Windows9x ? Dat98 : HiveSystem);
            bool nt = c.kind == InstallationKind::WindowsNt;
            EXPECT_EQ(found.software.Open(), nt && !c.software.empty());
            EXPECT_EQ(ReadRegistryFile(found.software), nt ? c.software : "");
            std::string logs;
            for (const RegistryFile &log : found.systemLogs)
                logs += ReadRegistryFile(log);
            EXPECT_EQ(logs, c.systemLogs);
        }
        EXPECT_FALSE(ChildrenLeft());
    }
}

} // namespace
