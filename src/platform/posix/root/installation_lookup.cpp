#include "platform/posix/root/installation_lookup.h"

#include <algorithm>

#include "platform/posix/base/text_compare.h"

// Whether a registry file there can be read is the source's to say, so
// that a FIFO or a device there is named in its message.
bool FindFile(const std::vector<TreeEntry> &entries, const std::string &dir, std::string_view name, std::string &path)
{
    const TreeEntry *entry = FindListedEntry(entries, name);
    if (entry == nullptr || entry->isDirectory)
        return false;
    path = JoinTreePath(dir, entry->name);
    return true;
}

std::vector<std::string> FindLogs(const std::vector<TreeEntry> &entries, const std::string &dir,
                                  const std::string &hive)
{
    std::vector<std::string> logs;
    for (const char *suffix : {".LOG", ".LOG1", ".LOG2"}) {
        std::string path;
        if (FindFile(entries, dir, hive + suffix, path))
            logs.push_back(path);
    }
    return logs;
}

namespace {

// A drive copied to a case-sensitive disk can hold SYSTEM beside system;
// the lookup reads one, and the line names the others.
void NoteTwins(const FileTree &tree, const std::vector<TreeEntry> &entries, const std::string &path,
               std::vector<std::string> &notes)
{
    std::string read = path.substr(path.find_last_of('/') + 1);
    std::vector<std::string> twins;
    for (const TreeEntry &entry : entries)
        if (!entry.isDirectory && entry.name != read && RegNamesEqual(entry.name, read))
            twins.push_back(entry.name);
    std::sort(twins.begin(), twins.end());
    std::string others;
    for (const std::string &twin : twins)
        others += (others.empty() ? "" : " and ") + twin;
    if (!others.empty())
        notes.push_back(tree.Describe(path) + ": read, not " + others + " beside it (the same name in another case)");
}

// `entries` is the listing of `dir`, which serves both kinds; system32\config
// is listed once for both hives.
void AddListedInstallations(const FileTree &tree, std::size_t volume, const std::string &dir,
                            const std::vector<TreeEntry> &entries, std::vector<Candidate> &found,
                            std::vector<HalfInstallation> *half)
{
    std::string file;
    if (FindFile(entries, dir, "SYSTEM.DAT", file)) {
        found.push_back(Candidate{InstallationKind::Windows9x, volume, dir, file, "", {}, {}, false, {}});
        NoteTwins(tree, entries, file, found.back().notes);
    }
    const TreeEntry *system32 = FindListedEntry(entries, "system32");
    std::string config, system, software;
    std::vector<TreeEntry> hives;
    if (system32 == nullptr || !FindTreePath(tree, JoinTreePath(dir, system32->name), "config", config) ||
        !tree.List(config, hives))
        return;
    bool hasSystem = FindFile(hives, config, "SYSTEM", system);
    bool hasSoftware = FindFile(hives, config, "SOFTWARE", software);
    if (hasSystem) {
        found.push_back(Candidate{InstallationKind::WindowsNt, volume, dir, system,
                                  hasSoftware ? software : JoinTreePath(config, "SOFTWARE"),
                                  FindLogs(hives, config, "SYSTEM"),
                                  hasSoftware ? FindLogs(hives, config, "SOFTWARE") : std::vector<std::string>(),
                                  !hasSoftware, {}});
        NoteTwins(tree, hives, system, found.back().notes);
        if (hasSoftware)
            NoteTwins(tree, hives, software, found.back().notes);
    } else if (hasSoftware && half != nullptr) {
        half->push_back(HalfInstallation{volume, config});
    }
}

} // namespace

void AddInstallationsIn(const FileTree &tree, std::size_t volume, const std::string &dir, std::vector<Candidate> &found,
                        std::vector<HalfInstallation> *half)
{
    std::vector<TreeEntry> entries;
    if (tree.List(dir, entries))
        AddListedInstallations(tree, volume, dir, entries, found, half);
}

void ScanForInstallations(const FileTree &tree, std::size_t volume, std::vector<Candidate> &found,
                          std::vector<HalfInstallation> *half)
{
    std::vector<TreeEntry> entries;
    if (!tree.List("", entries))
        return;
    std::size_t before = found.size();
    AddListedInstallations(tree, volume, "", entries, found, half);
    if (found.size() > before)
        return;
    for (const TreeEntry &entry : entries)
        if (entry.isDirectory)
            AddInstallationsIn(tree, volume, entry.name, found, half);
}
