#include "platform/posix/root/machine_disks.h"

#include "platform/posix/image/disk_container.h"

namespace {

// Of a machine's disks, what is said of one begins with its file.
std::string OfDisk(const std::vector<std::string> &disks, std::size_t index, bool machine, const std::string &words)
{
    return machine ? disks[index] + ": " + words : words;
}

} // namespace

bool OpenMachineDisks(const TskFunctions *tsk, const std::vector<std::string> &disks, bool machine,
                      std::vector<TSK_IMG_INFO *> &images, std::vector<DiskVolume> &volumes,
                      std::vector<std::string> &chainNotes, std::vector<std::string> &notes, Fault &fault)
{
    for (std::size_t index = 0; index < disks.size(); ++index) {
        TSK_IMG_INFO *image = nullptr;
        std::vector<std::string> chain;
        bool opened = OpenDiskImage(tsk, disks[index], image, chain, fault);
        for (const std::string &note : chain)
            chainNotes.push_back(OfDisk(disks, index, machine, note));
        if (!opened) {
            fault = {"", OfDisk(disks, index, machine, FaultText(fault))};
            return false;
        }
        images.push_back(image);
        std::vector<DiskVolume> listed;
        std::vector<std::string> said;
        Fault empty;
        if (!ListDiskVolumes(tsk, image, listed, said, empty)) {
            if (disks.size() == 1) {
                fault = {"", OfDisk(disks, index, machine, FaultText(empty))};
                return false;
            }
            said.push_back(FaultText(empty)); // a blank data disk leaves the others to answer
        }
        for (const std::string &line : said)
            notes.push_back(OfDisk(disks, index, machine, line));
        for (DiskVolume &one : listed) {
            one.disk = static_cast<int>(index);
            volumes.push_back(one);
        }
    }
    return true;
}

std::string VolumeLabel(const DiskVolume &volume)
{
    return (volume.disk != 0 ? "rdisk(" + std::to_string(volume.disk) + ")" : std::string()) + "partition(" +
           std::to_string(volume.partition) + ")";
}
