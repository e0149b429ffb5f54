// The shipped binary over a disk image holding Windows 98 and NT: what
// chooses the installation.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "disk_image_writer.h"
#include "image_run.h"
#include "process_run.h"
#include "scenarios.h"
#include "windows_drives.h"

namespace {

// Windows 98 on partition 1 (FAT32, active) and NT on partition 2 (NTFS, a
// logical partition): what chooses between them, and what happens when
// nothing does. A machine of two disks, named by its .vmx, holds them on
// its first disk and its second instead.
TEST(MultiBootImage, BootFilesAndDOROVIVI_WINDIRChoose)
{
    using namespace scenario;
    struct Case {
        const char *what;
        const char *bootIni;  // on partition 1; nullptr: none
        const char *msdosSys; // on partition 1; nullptr: none
        const char *windir;   // DOROVIVI_WINDIR; nullptr: unset
        const char *command;
        int exitCode;
        const char *output;
        const char *message; // what the one stderr line holds; nullptr: no line
        bool foreign = false;  // a third partition holds another file system
        bool readOnly = false; // the image is 0444
        int disks = 1; // 2: a .vmx's two disks, 98 and NT; 3: the same, its second disk missing; 4: a libvirt
                       // domain of the same two, the second recorded as a qcow2
        const char *snapshot = nullptr; // DOROVIVI_SNAPSHOT
    };
    const char *toNt = "[boot loader]\r\ndefault=multi(0)disk(0)rdisk(0)partition(2)\\WINNT\r\n";
    const char *to98 = "[boot loader]\r\ndefault=C:\\\r\n[operating systems]\r\nC:\\=\"Windows 98\"\r\n";
    const char *winDir = "[Paths]\r\nWinDir=C:\\WINDOWS\r\n";
    const char *listing = "partition(1)\\WINDOWS, partition(2)\\WINNT";
    const Case cases[] = {
        {"boot.ini names NT", toNt, winDir, nullptr, "H", 0, NtAnswer, nullptr},
        {"boot.ini boots C:\\, MSDOS.SYS names WINDOWS", to98, winDir, nullptr, "H", 0, "HomeNet", nullptr},
        {"MSDOS.SYS alone", nullptr, winDir, nullptr, "H", 0, "HomeNet", nullptr},
        {"MSDOS.SYS names a missing folder, boot.ini NT", toNt, "[Paths]\r\nWinDir=C:\\GONE\r\n", nullptr, "H", 0,
         NtAnswer, "partition(1)\\MSDOS.SYS: WinDir=C:\\GONE names a Windows folder that is missing"},
        {"a second disk's entry is not followed",
         "[boot loader]\r\ndefault=multi(0)disk(0)rdisk(1)partition(2)\\WINNT\r\n",
         nullptr, nullptr, "H", 2, "XXXXXX", listing},
        {"DOROVIVI_WINDIR over boot.ini", toNt, winDir, "partition(1)\\windows", "H", 0, "HomeNet", nullptr},
        {"DOROVIVI_WINDIR names NT", nullptr, nullptr, "partition(2)\\WINNT", "H", 0, NtAnswer, nullptr},
        {"DOROVIVI_WINDIR names nothing", toNt, winDir, "partition(3)\\WINNT", "H", 2, "XXXXXX", "partition(3)\\WINNT"},
        {"no boot file: refused, H", nullptr, nullptr, nullptr, "H", 2, "XXXXXX", listing},
        {"no boot file: refused, @", nullptr, nullptr, nullptr, "@", 100, "", listing},
        {"another file system beside them", toNt, winDir, nullptr, "H", 0, NtAnswer, "partition(3)", true},
        {"a read-only image", toNt, winDir, nullptr, "H", 0, NtAnswer, nullptr, false, true},
        {"a machine's boot.ini names its second disk", "[boot loader]\r\ndefault=multi(0)disk(0)rdisk(1)partition(1)"
         "\\WINNT\r\n", nullptr, nullptr, "H", 0, NtAnswer, nullptr, false, false, 2},
        {"a machine's second disk by DOROVIVI_WINDIR", nullptr, nullptr, "rdisk(1)partition(1)\\WINNT", "H", 0,
         NtAnswer, nullptr, false, false, 2},
        {"a machine with nothing to choose", nullptr, nullptr, nullptr, "H", 2, "XXXXXX",
         "partition(1)\\WINDOWS, rdisk(1)partition(1)\\WINNT", false, false, 2},
        {"a machine's second disk missing", toNt, nullptr, nullptr, "H", 2, "XXXXXX",
         "vm.vmx: DIR/disk1.img: No such file or directory; reading an empty registry", false, false, 3},
        {"a machine's snapshot, from the .vmsd beside its .vmx", "[boot loader]\r\ndefault=multi(0)disk(0)rdisk(1)"
         "partition(1)\\WINNT\r\n", nullptr, nullptr, "H", 0, NtAnswer, nullptr, false, false, 2, "Before"},
        {"a machine's disk in another format than its configuration records", toNt, nullptr, nullptr, "H", 2,
         "XXXXXX", "vm.xml: the disk DIR/disk1.img is a raw image, where the configuration records the format qcow2; "
         "reading an empty registry", false, false, 4},
        {"a snapshot named over a disk image", toNt, winDir, nullptr, "H", 0, NtAnswer,
         "disk.img: DOROVIVI_SNAPSHOT=Before names a snapshot of a virtual machine's configuration; this root is a "
         "disk image, read as it is", false, false, 1, "Before"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string dir = MakeTempDir("dorovivi-multiboot");
        std::string win98 = dir + "/win98", nt = WriteNtTree(dir + "/nt");
        mkdir(win98.c_str(), 0755);
        Write98Drive(win98, "REGEDIT4\r\n" + VersionKeys(Family::Windows98) +
                                Card98(CardOne, "Net\\0000", Adapter, "HomeNet"));
        RemoveTree(win98 + "/WINDOWS.OLD"); // one installation a partition
        unlink((win98 + "/MSDOS.SYS").c_str());
        if (c.bootIni != nullptr)
            WriteFile(win98 + "/BOOT.INI", c.bootIni);
        if (c.msdosSys != nullptr)
            WriteFile(win98 + "/MSDOS.SYS", c.msdosSys);
        std::vector<ImagePartition> partitions = {FsPartition(FileSystem::Fat32, win98, true),
                                                  FsPartition(FileSystem::Ntfs, nt)};
        if (c.foreign)
            partitions.push_back(OtherPartition(0x83, Noise(1 << 20, 11)));
        std::string error, image;
        if (c.disks == 1) {
            image = WriteDiskImage(partitions, Layout::MbrLogical, Container::Raw, dir, "disk", &error);
        } else {
            for (int disk = 0; disk < 2; ++disk)
                ASSERT_NE(WriteDiskImage({partitions[disk]}, Layout::Mbr, Container::Raw, dir,
                                         "disk" + std::to_string(disk), &error), "") << error;
            if (c.disks == 3)
                rename((dir + "/disk1.img").c_str(), (dir + "/gone.img").c_str());
            WriteFile(image = dir + "/vm.vmx", "config.version = \"8\"\nide0:0.present = \"TRUE\"\n"
                                               "ide0:0.fileName = \"disk0.img\"\nide0:1.present = \"TRUE\"\n"
                                               "ide0:1.fileName = \"disk1.img\"\n");
            if (c.disks == 4) {
                WriteFile(image = dir + "/vm.xml", "<domain type='kvm'><name>old-pc</name><memory>65536</memory>"
                                                   "<os><type arch='i686'>hvm</type></os><devices><disk type='file' "
                                                   "device='disk'><source file='" + dir + "/disk0.img'/><target "
                                                   "dev='hda'/></disk><disk type='file' device='disk'><driver "
                                                   "name='qemu' type='qcow2'/><source file='" + dir + "/disk1.img'/>"
                                                   "<target dev='hdb'/></disk></devices></domain>\n");
                // libvirt's own schema takes it as a domain: only the format it records is wrong.
                EXPECT_EQ(RunProcess({"/usr/bin/virt-xml-validate", image, "domain"}, {}).exitCode, 0);
            }
            // Taken with the same disks; the running state names none of them.
            if (c.snapshot != nullptr)
                WriteFile(dir + "/vm.vmx", "ide0:0.present = \"TRUE\"\nide0:0.fileName = \"gone.img\"\n");
            WriteFile(dir + "/vm.vmsd", "snapshot.lastUID = \"1\"\nsnapshot.numSnapshots = \"1\"\nsnapshot0.uid = \"1\"\n"
                                        "snapshot0.displayName = \"Before\"\nsnapshot0.numDisks = \"2\"\n"
                                        "snapshot0.disk0.fileName = \"disk0.img\"\nsnapshot0.disk0.node = \"ide0:0\"\n"
                                        "snapshot0.disk1.fileName = \"disk1.img\"\nsnapshot0.disk1.node = \"ide0:1\"\n");
        }
        ASSERT_NE(image, "") << error;
        if (c.readOnly)
            chmod(image.c_str(), 0444);
        std::vector<std::string> env;
        if (c.windir != nullptr)
            env.push_back(std::string("DOROVIVI_WINDIR=") + c.windir);
        if (c.snapshot != nullptr)
            env.push_back(std::string("DOROVIVI_SNAPSHOT=") + c.snapshot);
        ImageRun run = RunOverImage(image, dir, {c.command}, env);
        EXPECT_EQ(run.result.exitCode, c.exitCode);
        EXPECT_EQ(run.result.output, c.output);
        if (c.message == nullptr) {
            EXPECT_EQ(run.errors, "");
        } else {
            std::string message = c.message;
            if (message.find("DIR") != std::string::npos)
                message.replace(message.find("DIR"), 3, dir);
            EXPECT_NE(run.errors.find(message), std::string::npos) << run.errors;
            EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << run.errors;
        }
        RemoveTree(dir);
    }
}

} // namespace
