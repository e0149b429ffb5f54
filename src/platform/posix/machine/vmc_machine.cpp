// Virtual PC's .vmc (XML, usually UTF-16): hard disks on the two IDE
// controllers, each with the path relative to the .vmc and the absolute one,
// and the undo disk kept over it, if any.
#include "platform/posix/base/text_compare.h"
#include "platform/posix/machine/machine_formats.h"
#include "platform/posix/machine/machine_paths.h"
#include "platform/posix/machine/xml_tree.h"

namespace {

const long Controllers = 2; // primary and secondary IDE
const long Locations = 2;   // master and slave
const char HardDiskType[] = "1";

std::string Attribute(const XmlTree &tree, int node, const char *name)
{
    const std::string *value = node >= 0 ? XmlAttribute(tree.nodes[node], name) : nullptr;
    return value != nullptr ? *value : "";
}

std::string_view Text(const XmlTree &tree, int node)
{
    return node >= 0 ? TrimBlanks(tree.nodes[node].text) : std::string_view();
}

// The path relative to the .vmc where there is one, else the absolute one.
std::string_view Recorded(const XmlTree &tree, int pathname)
{
    std::string_view relative = Text(tree, XmlChild(tree, pathname, "relative"));
    return !relative.empty() ? relative : Text(tree, XmlChild(tree, pathname, "absolute"));
}

int Path(const XmlTree &tree, std::initializer_list<const char *> names)
{
    int node = 0;
    for (const char *name : names)
        node = XmlChild(tree, node, name);
    return node;
}

} // namespace

bool ReadVirtualPcMachine(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks, Fault &fault)
{
    if (!snapshot.empty())
        return NoMachineSnapshots("Virtual PC keeps no snapshots", snapshot, fault);
    XmlTree tree;
    if (!ReadXmlTree(config.bytes, config.size, tree, fault))
        return false;
    int adapter = Path(tree, {"hardware", "pci_bus", "ide_adapter"});
    for (int c = XmlChild(tree, adapter, "ide_controller"); c >= 0; c = XmlNextSibling(tree, c, "ide_controller")) {
        long controller = 0, location = 0;
        if (!MachineNumber(Attribute(tree, c, "id"), Controllers - 1, controller)) {
            fault = {"", "an IDE controller's id is not 0 or 1"};
            return false;
        }
        for (int l = XmlChild(tree, c, "location"); l >= 0; l = XmlNextSibling(tree, l, "location")) {
            if (Text(tree, XmlChild(tree, l, "drive_type")) != HardDiskType)
                continue;
            if (!MachineNumber(Attribute(tree, l, "id"), Locations - 1, location)) {
                fault = {"", "an IDE location's id is not 0 or 1"};
                return false;
            }
            MachineDisk *disk = AddMachineDisk(disks, fault);
            if (disk == nullptr)
                return false;
            disk->slot = "IDE " + std::to_string(controller) + ":" + std::to_string(location);
            disk->rank = controller * Locations + location;
            // A kept undo disk holds the changes since the machine last started, over the disk.
            int undo = XmlChild(tree, l, "undo_pathname"), pathname = XmlChild(tree, l, "pathname");
            std::string_view base = Recorded(tree, pathname), changes = Recorded(tree, undo);
            NameMachineFile(*disk, config.folder, !changes.empty() ? changes : base);
            if (!changes.empty())
                AddMachineParent(*disk, base);
        }
    }
    return true;
}
