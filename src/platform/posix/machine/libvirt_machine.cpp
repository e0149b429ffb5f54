// libvirt domain XML: each <disk device="disk"> with its <source> (a file, a
// host block device, or a network volume) and the <backingStore> chain a
// running domain's XML records below it.
#include "platform/posix/machine/machine_formats.h"
#include "platform/posix/machine/machine_paths.h"
#include "platform/posix/machine/xml_tree.h"

namespace {

const long MaxBootOrder = 9999;

std::string Attribute(const XmlTree &tree, int node, const char *name)
{
    const std::string *value = node >= 0 ? XmlAttribute(tree.nodes[node], name) : nullptr;
    return value != nullptr ? *value : "";
}

// How a <source> names its image: a file or device path, or "protocol:name".
std::string SourceName(const XmlTree &tree, int source, const std::string &type)
{
    if (type == "network")
        return Attribute(tree, source, "protocol") + ":" + Attribute(tree, source, "name");
    if (type == "volume")
        return Attribute(tree, source, "pool") + "/" + Attribute(tree, source, "volume");
    std::string name = Attribute(tree, source, type == "block" ? "dev" : "file");
    return name.empty() ? Attribute(tree, source, type == "block" ? "file" : "dev") : name;
}

void ReadBackingChain(const XmlTree &tree, int disk, MachineDisk &target)
{
    for (int store = XmlChild(tree, disk, "backingStore"); store >= 0; store = XmlChild(tree, store, "backingStore")) {
        int source = XmlChild(tree, store, "source");
        if (source < 0) // <backingStore/>: the chain ends here
            break;
        if (!AddMachineParent(target, SourceName(tree, source, Attribute(tree, store, "type"))))
            break;
    }
}

} // namespace

bool ReadLibvirtMachine(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks, Fault &fault)
{
    if (!snapshot.empty())
        return NoMachineSnapshots("libvirt keeps each snapshot in a file of its own, not in the domain", snapshot,
                                  fault);
    XmlTree tree;
    if (!ReadXmlTree(config.bytes, config.size, tree, fault))
        return false;
    int devices = XmlChild(tree, 0, "devices");
    long position = 0;
    for (int d = XmlChild(tree, devices, "disk"); d >= 0; d = XmlNextSibling(tree, d, "disk"), ++position) {
        std::string device = Attribute(tree, d, "device");
        if (!device.empty() && device != "disk")
            continue;
        MachineDisk *disk = AddMachineDisk(disks, fault);
        if (disk == nullptr)
            return false;
        disk->slot = Attribute(tree, XmlChild(tree, d, "target"), "dev");
        disk->format = Attribute(tree, XmlChild(tree, d, "driver"), "type");
        long order = 0;
        bool booted = MachineNumber(Attribute(tree, XmlChild(tree, d, "boot"), "order"), MaxBootOrder, order);
        disk->rank = booted ? order : MaxBootOrder + 1 + position;
        std::string type = Attribute(tree, d, "type");
        int source = XmlChild(tree, d, "source");
        std::string name = SourceName(tree, source, type);
        if (type == "network" || type == "volume") {
            disk->recorded = name;
            disk->fault = {"", "a " + type + " disk (" + name + "), not a file on this host"};
        } else if (source < 0 || name.empty()) {
            disk->fault = {"", "the disk has no source: no medium is in it"};
        } else if (type == "block") {
            disk->recorded = name;
            disk->fault = {name, "a host block device, which is not followed"};
        } else {
            NameMachineFile(*disk, config.folder, name);
        }
        ReadBackingChain(tree, d, *disk);
    }
    return true;
}
