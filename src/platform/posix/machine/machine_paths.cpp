#include "platform/posix/machine/machine_paths.h"

#include <algorithm>

#include "platform/posix/base/text_compare.h"

namespace {

bool IsWindowsAbsolute(std::string_view name)
{
    bool drive = name.size() >= 3 && ((name[0] | 0x20) >= 'a' && (name[0] | 0x20) <= 'z') && name[1] == ':' &&
                 (name[2] == '\\' || name[2] == '/');
    return drive || (name.size() >= 2 && name[0] == '\\' && name[1] == '\\');
}

std::string_view LastPart(std::string_view name)
{
    std::size_t cut = name.find_last_of("\\/");
    return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

} // namespace

MachineDisk *AddMachineDisk(MachineDisks &disks, Fault &fault)
{
    if (disks.count >= kMaxMachineDisks) {
        fault = {"", "the machine has more than " + std::to_string(kMaxMachineDisks) + " disks"};
        return nullptr;
    }
    MachineDisk &disk = disks.disk[disks.count++];
    disk = MachineDisk();
    disk.independent = false;
    disk.parentCount = 0;
    disk.rank = 0;
    return &disk;
}

void NameMachineFile(MachineDisk &disk, const std::string &folder, std::string_view recorded)
{
    disk.recorded.assign(recorded.substr(0, kMaxMachinePath));
    disk.file.clear();
    if (recorded.empty() || recorded.find('\0') != std::string_view::npos) {
        disk.fault = {"", recorded.empty() ? "no file is named" : "the name holds a NUL byte"};
        return;
    }
    if (recorded.size() > kMaxMachinePath) {
        disk.fault = {"", "the name is longer than " + std::to_string(kMaxMachinePath) + " bytes"};
        return;
    }
    if (IsWindowsAbsolute(recorded)) {
        recorded = LastPart(recorded);
        if (recorded.empty()) {
            disk.fault = {"", "the Windows path names a folder"};
            return;
        }
    }
    bool absolute = recorded.front() == '/';
    std::string path = absolute ? "" : (folder.empty() ? "." : folder);
    std::string_view rest = recorded, part;
    bool named = false;
    while (NextPathPart(rest, part)) {
        if (part == "..") {
            disk.fault = {disk.recorded, "the name climbs out of its folder with \"..\", which is not followed"};
            return;
        }
        if (part != ".")
            path.append("/").append(part);
        named = named || part != ".";
    }
    if (!named) {
        disk.fault = {disk.recorded, "the name is a folder, not a file"};
        return;
    }
    if (absolute && (path.rfind("/dev/", 0) == 0 || path == "/dev")) {
        disk.fault = {disk.recorded, "a host device, which is not followed"};
        return;
    }
    if (path.size() > kMaxMachinePath) {
        disk.fault = {disk.recorded, "the path is longer than " + std::to_string(kMaxMachinePath) + " bytes"};
        return;
    }
    disk.file = path;
}

bool AddMachineParent(MachineDisk &disk, std::string_view name)
{
    if (disk.parentCount >= kMaxMachineParents) {
        disk.fault = {"", "more than " + std::to_string(kMaxMachineParents) + " backing files are recorded"};
        return false;
    }
    disk.parents[disk.parentCount++].assign(name.substr(0, kMaxMachinePath));
    return true;
}

void SortMachineDisks(MachineDisks &disks)
{
    std::stable_sort(disks.disk, disks.disk + disks.count,
                     [](const MachineDisk &a, const MachineDisk &b) { return a.rank < b.rank; });
}

bool SameMachineUuid(std::string_view a, std::string_view b)
{
    auto bare = [](std::string_view id) {
        if (id.size() >= 2 && id.front() == '{' && id.back() == '}')
            id = id.substr(1, id.size() - 2);
        return id;
    };
    return !bare(a).empty() && RegNamesEqual(bare(a), bare(b));
}

bool MachineNumber(std::string_view text, long limit, long &value)
{
    if (text.empty() || text.size() > 10)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return value <= limit;
}

bool NoMachineSnapshots(const char *where, const std::string &snapshot, Fault &fault)
{
    fault = {"", std::string("snapshot \"") + snapshot + "\" was asked for, but " + where};
    return false;
}
