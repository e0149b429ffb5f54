// Hostile configurations of every format: each is refused with its cause
// named, or gives its disks with the bad ones named and not followed.
#include <gtest/gtest.h>

#include <string>

#include "machine_disks_text.h"

namespace {

const std::string VboxHead = "<VirtualBox xmlns='http://www.virtualbox.org/'><Machine";
const std::string Registry = "><MediaRegistry><HardDisks><HardDisk uuid='{1}' location='a.vdi'/>";
const std::string Attached = "<Hardware><StorageControllers><StorageController name='SATA'><AttachedDevice "
                             "type='HardDisk' port='0' device='0'><Image uuid='{2}'/></AttachedDevice>"
                             "</StorageController></StorageControllers></Hardware></Machine></VirtualBox>";

std::string Repeat(const std::string &text, int times)
{
    std::string all;
    while (times-- > 0)
        all += text;
    return all;
}

std::string ManyDisks()
{
    std::string vmx;
    for (int unit = 0; unit < 30; ++unit)
        for (int bus = 0; bus < 3; ++bus)
            vmx += "sata" + std::to_string(bus) + ":" + std::to_string(unit) + ".present = \"TRUE\"\n";
    return vmx;
}

// UTF-16LE with its byte-order mark, as Virtual PC writes a .vmc.
std::string Utf16(const std::string &text)
{
    std::string wide = "\xFF\xFE";
    for (char c : text)
        wide += std::string(1, c) + '\0';
    return wide;
}

std::string Vmc(const std::string &paths)
{
    return Utf16("<?xml version='1.0' encoding='UTF-16'?><preferences>"
                 "<hardware><pci_bus><ide_adapter><ide_controller id='1'><location id='0'><drive_type>1</drive_type>" +
                 paths + "</location></ide_controller></ide_adapter></pci_bus>"
                 "</hardware></preferences>");
}

struct Row {
    const char *what;
    MachineFormat format;
    std::string bytes;
    const char *snapshot;
    std::string expected; // "!..." a part of the fault, else the disks exactly
    const char *storage = nullptr;
};

const Row Rows[] = {
    {"an entity declared", kMachineLibvirt, "<!DOCTYPE d [<!ENTITY a 'aaaa'>]><domain>&a;</domain>", "",
     "!XML refused at line 1: the document declares an entity (a)"},
    {"an external entity", kMachineVirtualBox,
     "<!DOCTYPE v [<!ENTITY x SYSTEM 'file:///etc/passwd'>]><VirtualBox>&x;</VirtualBox>", "", "!declares an entity (x)"},
    {"a parameter entity", kMachineVirtualPc, "<!DOCTYPE p [<!ENTITY % e SYSTEM 'http://x/e'> %e;]><preferences/>",
     "", "!declares an entity (e)"},
    {"elements nested too deep", kMachineLibvirt, "<domain>" + Repeat("<a>", 300), "", "!nested deeper than 256"},
    {"XML cut short", kMachineVirtualBox, VboxHead, "", "!XML refused at line 1: unclosed token"},
    {"another namespace", kMachineVirtualBox, "<VirtualBox xmlns='urn:x'/>", "", "!in namespace \"urn:x\""},
    {"current snapshot missing", kMachineVirtualBox, VboxHead + " currentSnapshot='{9}'" + Registry +
     "</HardDisks></MediaRegistry>" + Attached, "", "!currentSnapshot {9} names no snapshot in the file"},
    {"a medium twice", kMachineVirtualBox, VboxHead + Registry + "<HardDisk uuid='{1}' location='b.vdi'/>"
     "</HardDisks></MediaRegistry>" + Attached, "", "!two media in the registry share UUID {1}"},
    {"a medium not registered", kMachineVirtualBox, VboxHead + Registry + "</HardDisks></MediaRegistry>" + Attached,
     "", "SATA 0:0!{2}"},
    {"a location climbing out", kMachineVirtualBox, VboxHead + "><MediaRegistry><HardDisks><HardDisk uuid='{2}' "
     "location='../x/../../etc/a.vdi'/></HardDisks></MediaRegistry>" + Attached, "", "SATA 0:0!../x/../../etc/a.vdi"},
    {"old settings", kMachineVirtualBox, "<VirtualBox xmlns='http://www.innotek.de/VirtualBox-settings'><Machine>"
     "<HardDiskAttachments><HardDiskAttachment hardDisk='{5}' bus='IDE' channel='1' device='0'/>"
     "</HardDiskAttachments></Machine></VirtualBox>", "", "IDE 1:0!{5}"},
    {"a billion units", kMachineVmx, "scsi0:1000000000.present = \"TRUE\"\n", "",
     "!scsi0:1000000000 is not a unit a machine's scsi buses have (4 of 64)"},
    {"the SCSI controller's unit", kMachineVmx, "scsi0:7.present = \"TRUE\"\nscsi0:7.fileName = \"a.vmdk\"\n", "",
     "scsi0:7!a.vmdk"},
    {"a host device", kMachineVmx, "ide0:0.present = \"TRUE\"\nide0:0.fileName = \"/dev/sda\"\n", "", "ide0:0!/dev/sda"},
    {"escapes and a Windows path", kMachineVmx, "ide0:1.present = \"TRUE\"\nide0:1.fileName = \"D:\\VMs\\a|7Cb.vmdk\"\n"
     "bios.hddOrder = \"ide0:1\"\nscsi0:0.present = \"TRUE\"\nscsi0:0.fileName = \"c.vmdk\"\n", "",
     "ide0:1=/vm/a|b.vmdk;scsi0:0=/vm/c.vmdk"},
    {"a controller switched off", kMachineVmx, "scsi0.present = \"FALSE\"\nscsi0:0.present = \"TRUE\"\n"
     "scsi0:0.fileName = \"a.vmdk\"\n", "", ""},
    {"more than 64 disks", kMachineVmx, ManyDisks(), "", "!the machine has more than 64 disks"},
    {"a long line", kMachineVmx, "a = \"" + std::string(70000, 'x') + "\"\n", "",
     "!line 1 is longer than 65536 bytes"},
    {"10 MB", kMachineVmx, "a = \"" + std::string(10 << 20, 'x') + "\"\n", "", "!a machine's configuration is at most 4 MiB"},
    {"a NUL", kMachineVmx, std::string("a = \"b\"\nc\0 = \"d\"\n", 17), "", "!line 2 holds a NUL byte"},
    {"snapshot parents in a loop", kMachineVmsd, "snapshot0.uid = \"1\"\nsnapshot0.parent = \"2\"\n"
     "snapshot1.uid = \"2\"\nsnapshot1.parent = \"1\"\n", "1", "!the snapshots' parents form a loop"},
    {"a snapshot parent missing", kMachineVmsd, "snapshot0.uid = \"1\"\nsnapshot0.parent = \"7\"\n", "1",
     "!snapshot uid 1 has parent uid 7, which is not in the file"},
    {"sections in a loop", kMachineProxmox, "parent: a\n[a]\nparent: b\n[b]\nparent: a\n", "", "!form a loop"},
    {"a section's parent missing", kMachineProxmox, "scsi0: /x.raw\n[a]\nparent: gone\n", "a",
     "!parent \"gone\" is not a section of the file"},
    {"a storage not defined", kMachineProxmox, "sata1: nowhere:vm-1-disk-0\n", "", "sata1!nowhere:vm-1-disk-0"},
    {"a storage path not absolute", kMachineProxmox, "virtio0: d:1/a.raw\n", "", "virtio0!d:1/a.raw",
     "dir: d\n\tpath images\n"},
    {"a linked clone", kMachineProxmox, "scsi0: d:1/base-1-disk-0.qcow2/2/vm-2-disk-0.qcow2\n", "",
     "scsi0=/p/images/2/vm-2-disk-0.qcow2", "dir: d\n\tpath /p\n"},
    {"relative before absolute", kMachineVirtualPc,
     Vmc("<pathname><absolute>C:\\VMs\\b.vhd</absolute><relative>.\\a.vhd</relative></pathname>"),
     "", "IDE 1:0=/vm/a.vhd"},
    {"absolute only", kMachineVirtualPc, Vmc("<pathname><absolute>C:\\VMs\\b.vhd</absolute></pathname>"), "", "IDE 1:0=/vm/b.vhd"},
    {"an undo disk kept", kMachineVirtualPc, Vmc("<pathname><relative>a.vhd</relative></pathname><undo_pathname>"
     "<absolute>C:\\VMs\\a.vud</absolute><relative/></undo_pathname>"), "", "IDE 1:0=/vm/a.vud<a.vhd"},
    {"an undo disk climbing out", kMachineVirtualPc, Vmc("<pathname><relative>a.vhd</relative></pathname><undo_pathname>"
     "<relative>..\\a.vud</relative></undo_pathname>"), "", "IDE 1:0!..\\a.vud<a.vhd"},
    {"86Box climbing out", kMachinePcEmulator, "[Hard disks]\nhdd_02_fn = ../../x.img\nhdd_01_fn = y.img\n", "",
     "hdd_01=/vm/y.img;hdd_02!../../x.img"},
    {"a snapshot of none", kMachinePcEmulator, "[Hard disks]\n", "s", "!86Box and PCem keep no snapshots"},
    {"nothing", kMachineUnknown, "", "", "!not a virtual machine configuration"},
    {"noise", kMachineUnknown, "\x7f" "ELF\x02\x01", "", "!not a virtual machine configuration"},
};

TEST(MachineConfig, HostileInputIsNamed)
{
    for (const Row &row : Rows) {
        SCOPED_TRACE(row.what);
        MachineFormat format;
        std::string disks = Disks(row.bytes, row.snapshot, format, row.storage);
        if (row.expected[0] == '!') {
            EXPECT_NE(disks.find(row.expected.substr(1)), std::string::npos) << disks;
        } else {
            EXPECT_EQ(disks, row.expected);
        }
        if (row.expected.find("4 MiB") == std::string::npos) {
            EXPECT_EQ(MachineFormatOf(row.bytes.data(), row.bytes.size()), row.format);
        }
    }
}

} // namespace
