#include "platform/posix/root/installation_states.h"

#include <algorithm>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/text_compare.h"
#include "platform/posix/root/cabinet_header.h"
#include "platform/posix/root/restore_point_log.h"

namespace {

// A hive's base block: "regf", then at 12 the FILETIME of its last write.
constexpr char kHiveSignature[] = "regf";
constexpr std::size_t kHiveLastWrittenAt = 12;
constexpr std::size_t kHiveTimeEnd = kHiveLastWrittenAt + 8;
// ScanReg writes the cabinet's file list right after its header.
constexpr std::size_t kCabinetStartRead = 8192;

bool IsDigits(std::string_view text)
{
    return !text.empty() && text.size() <= 9 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Folder(const std::string &path)
{
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

void HiveTime(const FileTree &tree, InstallationState &state)
{
    const std::string &hive = state.files.registryFile;
    char head[kHiveTimeEnd];
    std::size_t got = 0;
    if (hive.empty() || !tree.ReadStart(hive, head, sizeof head, got) || got < kHiveTimeEnd ||
        std::string_view(head, 4) != kHiveSignature)
        return;
    state.time = ReadLe64(reinterpret_cast<const unsigned char *>(head) + kHiveLastWrittenAt);
    state.timeFrom = state.time != 0 ? "hive" : "none";
}

// A 95/98/Me registry records no time of its own: its file's last write says when it was kept.
void FileTime(const FileTree &tree, InstallationState &state)
{
    if (!state.files.registryFile.empty() && tree.WrittenTime(state.files.registryFile, state.time))
        state.timeFrom = "file";
}

// An NT state of the hives `system` and `software` in `dir` (names as Windows writes them).
bool AddHives(const FileTree &tree, const std::string &dir, const char *system, const char *software,
              InstallationState state, std::vector<InstallationState> &states)
{
    std::vector<TreeEntry> entries;
    if (!tree.List(dir, entries) || !FindFile(entries, dir, system, state.files.registryFile))
        return false;
    state.files.systemLogs = FindLogs(entries, dir, system);
    state.files.softwareMissing = software == nullptr || !FindFile(entries, dir, software, state.files.softwareHive);
    if (state.files.softwareMissing)
        state.files.softwareHive = software != nullptr ? JoinTreePath(dir, software)
                                                       : state.files.registryFile + "'s SOFTWARE";
    else
        state.files.softwareLogs = FindLogs(entries, dir, software);
    if (state.time == 0)
        HiveTime(tree, state);
    states.push_back(state);
    return true;
}

void AddRestorePoint(const FileTree &tree, const std::string &dir, const std::string &number,
                     const InstallationState &base, std::vector<InstallationState> &states)
{
    InstallationState state = base;
    unsigned long value = 0;
    for (char digit : number)
        value = value * 10 + static_cast<unsigned long>(digit - '0');
    state.name = "rp:" + std::to_string(value);
    std::string log;
    unsigned char bytes[kRpLogLargest + 1];
    std::size_t got = 0;
    RestorePointLog read;
    Fault fault{"", "missing"};
    std::vector<TreeEntry> entries;
    if (tree.List(dir, entries) && FindFile(entries, dir, "rp.log", log) &&
        tree.ReadStart(log, reinterpret_cast<char *>(bytes), sizeof bytes, got) &&
        ReadRestorePointLog(bytes, got, read, fault)) {
        state.time = read.created;
        state.timeFrom = "rp.log";
        state.description = read.description;
        state.pointType = static_cast<long>(read.pointType);
    } else {
        state.note = tree.Describe(JoinTreePath(dir, "rp.log")) + ": " + fault.words + "; the restore point's time "
                     "is its SYSTEM hive's";
    }
    // The folder's listing above serves to find its snapshot too.
    const TreeEntry *snapshot = FindListedEntry(entries, "snapshot");
    if (snapshot == nullptr || !snapshot->isDirectory ||
        !AddHives(tree, JoinTreePath(dir, snapshot->name), "_REGISTRY_MACHINE_SYSTEM", "_REGISTRY_MACHINE_SOFTWARE",
                  state, states)) {
        state.files.registryFile = dir; // what names it beside a twin
        state.unusable = tree.Describe(JoinTreePath(dir, "snapshot")) + " holds no _REGISTRY_MACHINE_SYSTEM";
        states.push_back(state);
    }
}

void AddRestorePoints(const FileTree &tree, const InstallationState &base, std::vector<InstallationState> &states)
{
    std::string volumeInformation;
    std::vector<TreeEntry> stores;
    if (!FindTreePath(tree, "", "System Volume Information", volumeInformation) ||
        !tree.List(volumeInformation, stores))
        return;
    for (const TreeEntry &store : stores) {
        std::vector<TreeEntry> points;
        std::string storePath = JoinTreePath(volumeInformation, store.name);
        if (!store.isDirectory || !RegNamesEqual(store.name.substr(0, 8), "_restore") || !tree.List(storePath, points))
            continue;
        for (const TreeEntry &point : points)
            if (point.isDirectory && RegNamesEqual(point.name.substr(0, 2), "RP") && IsDigits(point.name.substr(2)))
                AddRestorePoint(tree, JoinTreePath(storePath, point.name), point.name.substr(2), base, states);
    }
}

void AddScanRegCabinets(const FileTree &tree, const Candidate &current, const InstallationState &base,
                        std::vector<InstallationState> &states)
{
    std::string backups;
    std::vector<TreeEntry> entries;
    if (!FindTreePath(tree, current.dir, "SYSBCKUP", backups) || !tree.List(backups, entries))
        return;
    for (const TreeEntry &entry : entries) {
        std::string upper = UpperAscii(entry.name);
        if (entry.isDirectory || upper.size() != 9 || upper.compare(0, 2, "RB") != 0 ||
            !IsDigits(upper.substr(2, 3)) || upper.compare(5, 4, ".CAB") != 0)
            continue;
        InstallationState state = base;
        state.name = "scanreg:" + upper.substr(0, 5);
        state.files.registryFile = JoinTreePath(backups, entry.name);
        state.member = "SYSTEM.DAT";
        unsigned char head[kCabinetStartRead];
        std::size_t got = 0;
        CabinetMember member;
        Fault fault{"", "cannot be read"};
        if (!tree.ReadStart(state.files.registryFile, reinterpret_cast<char *>(head), sizeof head, got) ||
            !FindCabinetMember(head, got, "SYSTEM.DAT", member, fault)) {
            state.unusable = tree.Describe(state.files.registryFile) + ": " + fault.words;
        } else if (member.written != 0) {
            state.time = member.written;
            state.timeFrom = "cabinet";
        }
        states.push_back(state);
    }
}

} // namespace

std::vector<InstallationState> FindInstallationStates(const FileTree &tree, const Candidate &current)
{
    std::vector<InstallationState> states;
    InstallationState base;
    base.files = current;
    base.files.systemLogs.clear();
    base.files.softwareLogs.clear();
    base.files.notes.clear();
    InstallationState now = base;
    now.name = "current";
    now.files = current;
    if (current.kind == InstallationKind::WindowsNt)
        HiveTime(tree, now);
    else
        FileTime(tree, now);
    states.push_back(now);
    if (current.kind == InstallationKind::WindowsNt) {
        std::string config = Folder(current.registryFile), repair;
        base.name = "copy:repair";
        if (FindTreePath(tree, current.dir, "repair", repair))
            AddHives(tree, repair, "system", "software", base, states);
        base.name = "copy:system.sav";
        AddHives(tree, config, "system.sav", "software.sav", base, states);
        base.name = "copy:system.alt";
        AddHives(tree, config, "system.alt", nullptr, base, states);
        AddRestorePoints(tree, base, states);
    } else if (current.kind == InstallationKind::Windows9x) {
        std::vector<TreeEntry> entries;
        base.name = "copy:system.da0";
        if (tree.List(current.dir, entries) && FindFile(entries, current.dir, "SYSTEM.DA0", base.files.registryFile)) {
            FileTime(tree, base);
            states.push_back(base);
        }
        base.time = 0;
        base.timeFrom = "none";
        base.files.registryFile.clear();
        AddScanRegCabinets(tree, current, base, states);
    }
    return states;
}
