// A disk read must be the one its configuration describes: a hypervisor
// reads the file as the format it records, and a snapshot's delta on top
// of the parents its media registry or backing chain names. A disk found
// otherwise is some other machine's state, and no answer of this one.
#include "platform/posix/root/machine_root.h"

#include <strings.h>

#include "platform/posix/image/parent_lookup.h"

namespace {

// The names a configuration gives each container's format.
const struct {
    const char *container;
    const char *recorded[2];
} FormatNames[] = {
    {"qcow2", {"qcow2", "qcow"}}, {"VHDX", {"vhdx", nullptr}}, {"VHD", {"vhd", "vpc"}},
    {"VDI", {"vdi", nullptr}},     {"VMDK", {"vmdk", nullptr}}, {"raw", {"raw", nullptr}},
};

bool FormatIs(const char *container, const std::string &recorded)
{
    for (const auto &row : FormatNames)
        if (container != nullptr && strcasecmp(row.container, container) == 0)
            for (const char *name : row.recorded)
                if (name != nullptr && strcasecmp(name, recorded.c_str()) == 0)
                    return true;
    return false;
}

// The recorded path may be the original host's ("C:\VMs\base.vdi"); the
// chain's file is where it lies here: the names are what can agree.
bool SameFile(const std::string &read, const std::string &recorded)
{
    return strcasecmp(LastComponent(read).c_str(), LastComponent(recorded).c_str()) == 0;
}

} // namespace

std::string RecordedChainsDiffer(const std::vector<RecordedDisk> &disks, const std::vector<DiskChain> &chains)
{
    for (std::size_t index = 0; index < disks.size() && index < chains.size(); ++index) {
        const RecordedDisk &disk = disks[index];
        const DiskChain &chain = chains[index];
        if (!chain.whole)
            continue; // what stopped it is said instead
        if (!disk.format.empty() && !FormatIs(chain.container, disk.format))
            return "the disk " + disk.file + " is a " + (chain.container != nullptr ? chain.container : "?") +
                   " image, where the configuration records the format " + disk.format;
        for (std::size_t up = 0; up < disk.parents.size(); ++up) {
            if (up + 1 >= chain.files.size())
                return "the disk " + disk.file + " has no parent " + disk.parents[up] +
                       ", which the configuration records";
            if (!SameFile(chain.files[up + 1], disk.parents[up]))
                return "the disk " + disk.file + " has the parent " + chain.files[up + 1] +
                       ", where the configuration records " + disk.parents[up];
        }
    }
    return "";
}
