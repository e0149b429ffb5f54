#include "platform/posix/installation_lookup.h"

namespace {

// A registry file in place; whether it can be read is the source's to say,
// so that a FIFO or a device there is named in its message.
bool FindFile(const FileTree &tree, const std::string &dir, const char *name, std::string &path)
{
    bool isDirectory = true;
    return FindTreeEntry(tree, dir, name, path, isDirectory) && !isDirectory;
}

} // namespace

bool Holds9x(const FileTree &tree, const std::string &dir, Candidate &found)
{
    std::string file;
    if (!FindFile(tree, dir, "SYSTEM.DAT", file))
        return false;
    found = {InstallationKind::Windows9x, found.volume, dir, file, ""};
    return true;
}

bool HoldsNt(const FileTree &tree, const std::string &dir, Candidate &found)
{
    std::string config, system, software;
    if (!FindTreePath(tree, dir, "system32\\config", config) || !FindFile(tree, config, "SYSTEM", system) ||
        !FindFile(tree, config, "SOFTWARE", software))
        return false;
    found = {InstallationKind::WindowsNt, found.volume, dir, system, software};
    return true;
}

void AddInstallationsIn(const FileTree &tree, std::size_t volume, const std::string &dir, std::vector<Candidate> &found)
{
    Candidate one;
    one.volume = volume;
    if (Holds9x(tree, dir, one))
        found.push_back(one);
    if (HoldsNt(tree, dir, one))
        found.push_back(one);
}

void ScanForInstallations(const FileTree &tree, std::size_t volume, std::vector<Candidate> &found)
{
    std::size_t before = found.size();
    AddInstallationsIn(tree, volume, "", found);
    if (found.size() > before)
        return;
    std::vector<TreeEntry> entries;
    if (!tree.List("", entries))
        return;
    for (const TreeEntry &entry : entries)
        if (entry.isDirectory)
            AddInstallationsIn(tree, volume, entry.name, found);
}
