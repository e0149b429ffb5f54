// VirtualBox settings: the attachments of the machine (or of a snapshot,
// whose Hardware holds that state's) name media by UUID; the MediaRegistry
// nests each differencing image inside its parent.
#include <vector>

#include "platform/posix/machine/machine_formats.h"
#include "platform/posix/machine/machine_paths.h"
#include "platform/posix/machine/xml_tree.h"

namespace {

const char CurrentSpace[] = "http://www.virtualbox.org/";
const char InnotekSpace[] = "http://www.innotek.de/VirtualBox-settings"; // settings before VirtualBox 2.1
const long MaxPort = 999; // SATA has 30, SAS 255
const long MaxController = 999;

struct Medium {
    int node;   // its HardDisk element
    int parent; // index of the medium it differs from, -1 for a base
};

std::string Attribute(const XmlTree &tree, int node, const char *name)
{
    const std::string *value = node >= 0 ? XmlAttribute(tree.nodes[node], name) : nullptr;
    return value != nullptr ? *value : "";
}

void CollectMedia(const XmlTree &tree, int holder, int parent, std::vector<Medium> &media)
{
    for (int disk = XmlChild(tree, holder, "HardDisk"); disk >= 0; disk = XmlNextSibling(tree, disk, "HardDisk")) {
        media.push_back({disk, parent});
        CollectMedia(tree, disk, static_cast<int>(media.size()) - 1, media);
    }
}

void CollectSnapshots(const XmlTree &tree, int holder, std::vector<int> &snapshots)
{
    for (int snapshot = XmlChild(tree, holder, "Snapshot"); snapshot >= 0;
         snapshot = XmlNextSibling(tree, snapshot, "Snapshot")) {
        snapshots.push_back(snapshot);
        CollectSnapshots(tree, XmlChild(tree, snapshot, "Snapshots"), snapshots);
    }
}

int FindMedium(const XmlTree &tree, const std::vector<Medium> &media, const std::string &uuid)
{
    for (std::size_t i = 0; i < media.size(); ++i)
        if (SameMachineUuid(Attribute(tree, media[i].node, "uuid"), uuid))
            return static_cast<int>(i);
    return -1;
}

bool AddAttached(const XmlTree &tree, const std::vector<Medium> &media, const MachineConfig &config,
                 const std::string &slot, long rank, const std::string &uuid, MachineDisks &disks, Fault &fault)
{
    MachineDisk *disk = AddMachineDisk(disks, fault);
    if (disk == nullptr)
        return false;
    disk->slot = slot;
    disk->rank = rank;
    int found = FindMedium(tree, media, uuid);
    if (uuid.empty()) {
        disk->fault = {"", "the attachment names no medium"};
        return true;
    }
    if (found < 0) {
        disk->recorded = uuid;
        disk->fault = {"", "medium " + uuid + " is not in this file's media registry (settings before 1.11 keep it "
                                              "in the user's VirtualBox.xml)"};
        return true;
    }
    NameMachineFile(*disk, config.folder, Attribute(tree, media[found].node, "location"));
    disk->format = Attribute(tree, media[found].node, "format");
    for (int up = media[found].parent; up >= 0; up = media[up].parent)
        if (!AddMachineParent(*disk, Attribute(tree, media[up].node, "location")))
            break;
    return true;
}

bool Numbers(const XmlTree &tree, int node, const char *first, const char *second, long &a, long &b, Fault &fault)
{
    if (MachineNumber(Attribute(tree, node, first), MaxPort, a) &&
        MachineNumber(Attribute(tree, node, second), MaxPort, b))
        return true;
    fault = {"", std::string("an attachment's ") + first + " or " + second + " is not a number up to " +
                     std::to_string(MaxPort)};
    return false;
}

// The hard disks attached in the state `state` (the Machine or a Snapshot).
bool ReadAttachments(const XmlTree &tree, const std::vector<Medium> &media, const MachineConfig &config, int state,
                     MachineDisks &disks, Fault &fault)
{
    int hardware = XmlChild(tree, state, "Hardware");
    int controllers = XmlChild(tree, hardware, "StorageControllers");
    if (controllers < 0) // settings 1.6 to 1.8 keep them beside Hardware
        controllers = XmlChild(tree, state, "StorageControllers");
    long index = 0, port = 0, device = 0;
    for (int c = XmlChild(tree, controllers, "StorageController"); c >= 0;
         c = XmlNextSibling(tree, c, "StorageController"), ++index) {
        if (index > MaxController) {
            fault = {"", "more than " + std::to_string(MaxController) + " storage controllers"};
            return false;
        }
        for (int a = XmlChild(tree, c, "AttachedDevice"); a >= 0; a = XmlNextSibling(tree, a, "AttachedDevice")) {
            if (Attribute(tree, a, "type") != "HardDisk")
                continue;
            if (!Numbers(tree, a, "port", "device", port, device, fault))
                return false;
            std::string slot = Attribute(tree, c, "name") + " " + std::to_string(port) + ":" + std::to_string(device);
            std::string uuid = Attribute(tree, XmlChild(tree, a, "Image"), "uuid");
            if (!AddAttached(tree, media, config, slot, (index * 1000 + port) * 1000 + device, uuid, disks, fault))
                return false;
        }
    }
    int old = XmlChild(tree, state, "HardDiskAttachments"); // settings before 1.6, IDE before SATA
    if (old < 0)
        old = XmlChild(tree, hardware, "HardDiskAttachments");
    for (int a = XmlChild(tree, old, "HardDiskAttachment"); a >= 0; a = XmlNextSibling(tree, a, "HardDiskAttachment")) {
        if (!Numbers(tree, a, "channel", "device", port, device, fault))
            return false;
        std::string bus = Attribute(tree, a, "bus");
        long rank = ((bus == "IDE" ? 0 : 1) * 1000 + port) * 1000 + device;
        std::string slot = bus + " " + std::to_string(port) + ":" + std::to_string(device);
        if (!AddAttached(tree, media, config, slot, rank, Attribute(tree, a, "hardDisk"), disks, fault))
            return false;
    }
    return true;
}

} // namespace

bool ReadVirtualBoxMachine(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks, Fault &fault)
{
    XmlTree tree;
    if (!ReadXmlTree(config.bytes, config.size, tree, fault))
        return false;
    if (tree.nodes[0].space != CurrentSpace && tree.nodes[0].space != InnotekSpace) {
        fault = {"", "the VirtualBox element is in namespace \"" + tree.nodes[0].space + "\", not VirtualBox's"};
        return false;
    }
    int machine = XmlChild(tree, 0, "Machine");
    if (machine < 0) {
        fault = {"", "the settings hold no Machine (a global VirtualBox.xml?)"};
        return false;
    }
    std::vector<Medium> media;
    CollectMedia(tree, XmlChild(tree, XmlChild(tree, machine, "MediaRegistry"), "HardDisks"), -1, media);
    for (std::size_t i = 0; i < media.size(); ++i)
        if (FindMedium(tree, media, Attribute(tree, media[i].node, "uuid")) != static_cast<int>(i)) {
            fault = {"", "two media in the registry share UUID " + Attribute(tree, media[i].node, "uuid")};
            return false;
        }
    std::vector<int> snapshots;
    CollectSnapshots(tree, machine, snapshots);
    int state = snapshot.empty() ? machine : -1;
    std::string current = Attribute(tree, machine, "currentSnapshot");
    bool currentFound = current.empty();
    for (int s : snapshots) {
        currentFound = currentFound || SameMachineUuid(Attribute(tree, s, "uuid"), current);
        bool named = Attribute(tree, s, "name") == snapshot || SameMachineUuid(Attribute(tree, s, "uuid"), snapshot);
        if (snapshot.empty() || !named)
            continue;
        if (state >= 0) {
            fault = {"", "more than one snapshot is named \"" + snapshot + "\"; choose one by its UUID"};
            return false;
        }
        state = s;
    }
    if (!currentFound) {
        fault = {"", "currentSnapshot " + current + " names no snapshot in the file"};
        return false;
    }
    if (state < 0) {
        fault = {"", "no snapshot is named \"" + snapshot + "\" or has that UUID"};
        return false;
    }
    return ReadAttachments(tree, media, config, state, disks, fault);
}
