// Virtual machine configurations: the real files under ../shared/real/vmconfig
// (their SOURCES give each one's disks), then hostile ones of every format.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "machine_disks_text.h"
#include "process_run.h"
#include "real_files.h"

namespace {

struct Row {
    const char *file;
    const char *snapshot;
    MachineFormat format;
    std::string disks;
    const char *storage;
};

const std::string Rhel = "/var/lib/libvirt/images/rhel7.";
const std::string Bz = "/vm/BZ1308535_21disks";
const std::string Tmp = "</tmp/image";
const char Pve[] = "dir: localsnapext\n\tpath /var/lib/vzsnapext\n\tcontent images\n\nlvm: lvm-store\n\tvgname veegee\n";

const std::string HyperV = "!a Hyper-V .vmcx (or .vmrs) is binary and undocumented, so its disks are not read "
                           "here; name the disk itself instead: the newest .avhdx of a checkpoint chain, or the .vhdx";

const Row RealRows[] = {
    {"virtualbox/GOAD-DC01.vbox", "", kMachineVirtualBox,
     "IDE Controller 0:0[VMDK]=/vm/Snapshots/{e6800503-8273-4f16-b584-c7ba2c1df698}.vmdk"
     "<Snapshots/{3c72ec80-dc73-4448-a63e-97970cdd87e5}.vmdk<WindowsServer2019-disk001.vmdk", nullptr},
    {"virtualbox/GOAD-DC01.vbox", "push_1766163705_7292", kMachineVirtualBox,
     "IDE Controller 0:0[VMDK]=/vm/WindowsServer2019-disk001.vmdk", nullptr},
    {"virtualbox/GOAD-DC01.vbox", "264CCD7E-9ffd-45ba-bd0e-4e1968d3355a", kMachineVirtualBox,
     "IDE Controller 0:0[VMDK]=/vm/Snapshots/{3c72ec80-dc73-4448-a63e-97970cdd87e5}.vmdk<WindowsServer2019-disk001.vmdk",
     nullptr},
    {"virtualbox/GOAD-DC01.vbox", "push", kMachineVirtualBox, "!no snapshot is named \"push\" or has that UUID", nullptr},
    {"virtualbox/encrypted.vbox", "", kMachineVirtualBox,
     "SATA 0:0[VDI]=/vm/Snapshots/{742e6d0f-8896-4aa6-97f4-e05d70e73029}.vdi<encrypted test.vdi;"
     "SATA 2:0[VDI]=/vm/encrypted test_1.vdi", nullptr},
    {"vmware/esx-in-the-wild-6.vmx", "", kMachineVmx, "scsi0:0=/vm/el6-test-000001.vmdk", nullptr},
    {"vmware/gsx-in-the-wild-4.vmx", "", kMachineVmx, "ide0:0=/vm/Debian-System1-0-cl2.vmdk*", nullptr},
    {"vmware/test-i-vmx-1.vmx", "", kMachineVmx,
     "scsi0:0=" + Bz + ".vmdk;scsi0:1=" + Bz + "_1.vmdk;scsi0:2=" + Bz + "_2.vmdk;scsi0:3=" + Bz +
         "_3.vmdk;scsi0:4=" + Bz + "_4.vmdk;scsi0:5=" + Bz + "_5.vmdk;scsi0:6=" + Bz + "_6.vmdk;scsi0:8=" + Bz +
         "_7.vmdk;scsi0:9=" + Bz + "_8.vmdk;scsi0:10=" + Bz + "_9.vmdk;scsi0:11=" + Bz + "_10.vmdk;scsi0:12=" + Bz +
         "_11.vmdk;scsi0:13=" + Bz + "_12.vmdk;scsi0:14=" + Bz + "_13.vmdk;scsi0:15=" + Bz + "_14.vmdk;scsi1:0=" +
         Bz + "_15.vmdk;scsi1:1=" + Bz + "_16.vmdk;scsi1:2=" + Bz + "_17.vmdk;scsi1:3=" + Bz +
         "_18.vmdk;scsi1:4=" + Bz + "_19.vmdk;scsi1:5=" + Bz + "_20.vmdk", nullptr},
    {"vmware/test-i-vmx-2.vmx", "", kMachineVmx, "scsi0:0=/vm/Fedora-20.vmdk", nullptr},
    {"vmware/test-i-vmx-5.vmx", "", kMachineVmx, "scsi0:0=/vm/MSEdge-Win10_preview.vmdk", nullptr},
    {"vmware/test-i-vmx-6.vmx", "", kMachineVmx, "nvme0:0=/vm/nvme-disk.vmdk", nullptr},
    {"vmware/test-i-vmx-7.vmx", "", kMachineVmx, "scsi0:0=/vm/win2019.vmdk;sata0:3=/vm/win2019_1.vmdk", nullptr},
    {"vmware/encrypted.vmx", "", kMachineVmx, "!the machine's settings are encrypted (encryption.data): its disks "
                                              "cannot be named without its password", nullptr},
    {"vmware/test-flo.vmsd", "", kMachineVmsd, "!a .vmsd lists the snapshots only; the machine's current disks are "
                                               "in its .vmx: name that, or choose a snapshot", nullptr},
    {"vmware/test-flo.vmsd", "from cli", kMachineVmsd, "scsi0:0=/vm/test flo_0-000003.vmdk", nullptr},
    {"vmware/test-flo.vmsd", "2", kMachineVmsd, "scsi0:0=/vm/test flo_0-000001.vmdk", nullptr},
    {"libvirt/disk-backing-chains-index.xml", "", kMachineLibvirt,
     "vda[qcow2]!gluster:Volume2/Image</tmp/missing-backing-store.qcow;vdb[qcow2]!nbd:bar</dev/HostVG/QEMUGuest1" +
         Tmp + "2" + Tmp + "3.qcow" + Tmp + "4.qcow" + Tmp + "5.qcow</tmp/Fedora-17-x86_64-Live-KDE.iso;"
         "vdc[raw]!gluster:Volume1/Image;vdd[qcow2]!rbd:pool/image</tmp/image.qcow;vde[qcow2]!/dev/HostVG/QEMUGuest11;"
         "vdf[qcow2]=" + Rhel + "1484071880<" + Rhel + "1484071877<" + Rhel + "1484071876<" + Rhel + "1484071872<" +
         Rhel + "1483615252<" + Rhel + "1483605924<" + Rhel + "1483605920<" + Rhel + "1483546244<" + Rhel +
         "1483545901<" + Rhel + "1483545313<" + Rhel + "1483536402<" + Rhel + "qcow2", nullptr},
    {"libvirt/bootorder-in.xml", "", kMachineLibvirt, "vda[qcow2]=/mnt/data/devel/images/f30.qcow2", nullptr},
    {"proxmox/snapshots.conf", "", kMachineProxmox,
     "scsi1!lvmthinbig:vm-111-disk-0;ide0!dir:111/vm-111-disk-2.qcow2;scsi0!dir:111/vm-111-disk-1.qcow2;"
     "virtio0!dir:111/vm-111-disk-0.qcow2", nullptr},
    {"proxmox/snapshots.conf", "machine_version_5_1", kMachineProxmox, "ide0!lvmthinbig:vm-111-disk-0", nullptr},
    {"proxmox/sections.conf", "", kMachineProxmox, "scsi0!nfs:120/vm-120-disk-0.qcow2", nullptr},
    {"proxmox/sections.conf", "PENDING", kMachineProxmox, "!no snapshot section is named [PENDING]", nullptr},
    {"proxmox/simple-backingchain.conf", "snap2", kMachineProxmox,
     "scsi0=/var/lib/vzsnapext/images/8006/vm-8006-disk-0.qcow2;scsi1!lvm-store:vm-8006-disk-0.qcow2", Pve},
    {"86box/megatouch-maxx-86box.cfg", "", kMachinePcEmulator, "hdd_01=/vm/HardDisk.img", nullptr},
    {"86box/DVX-DOS6.22-86box.cfg", "", kMachinePcEmulator, "hdd_01=/vm/hdd/pentium-pro-msdos6.22.VHD", nullptr},
    {"86box/k16-86box.cfg", "", kMachinePcEmulator, "", nullptr},
    {"hyperv/test.vmcx", "", kMachineHyperV, HyperV, nullptr},
    {"hyperv/test.VMRS", "", kMachineHyperV, HyperV, nullptr},
    {"proxmox/simple-backingchain.conf.cmd", "", kMachineUnknown, "!not a virtual machine configuration: neither "
     "VirtualBox, VMware, libvirt, Proxmox, Virtual PC, 86Box/PCem nor Hyper-V", nullptr},
};

TEST(MachineConfig, RealFilesGiveTheirDisks)
{
    NEEDS_REAL(RealFilesHere(DOROVIVI_REAL_VMCONFIG), "the VM configurations in " DOROVIVI_REAL_VMCONFIG);
    for (const Row &row : RealRows) {
        SCOPED_TRACE(std::string(row.file) + " " + row.snapshot);
        MachineFormat format;
        EXPECT_EQ(Disks(ReadFile(DOROVIVI_REAL_VMCONFIG "/" + std::string(row.file)), row.snapshot, format, row.storage),
                  row.disks);
        EXPECT_EQ(format, row.format);
    }
}

// Where a qemu-server folder's storage.cfg is, in either layout of /etc/pve.
TEST(MachineConfig, ProxmoxStorageIsBesideTheTree)
{
    EXPECT_EQ(ProxmoxStoragePath("/etc/pve/qemu-server"), "/etc/pve/storage.cfg");
    EXPECT_EQ(ProxmoxStoragePath("/case/etc/pve/nodes/pve1/qemu-server/"), "/case/etc/pve/storage.cfg");
    EXPECT_EQ(ProxmoxStoragePath("qemu-server"), "./storage.cfg");
}

} // namespace
