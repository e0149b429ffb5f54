#include "platform/posix/files/file_tree.h"

#include "platform/posix/base/text_compare.h"

std::string JoinTreePath(const std::string &dir, std::string_view name)
{
    std::string path = dir;
    if (!path.empty())
        path += '/';
    path += name;
    return path;
}

const TreeEntry *FindListedEntry(const std::vector<TreeEntry> &entries, std::string_view name)
{
    const TreeEntry *found = nullptr;
    for (const TreeEntry &entry : entries) {
        if (entry.name == name)
            return &entry;
        // Among spellings in other cases, the first in byte order: a listing's
        // order is the file system's and may differ between copies.
        if (RegNamesEqual(entry.name, name) && (found == nullptr || entry.name < found->name))
            found = &entry;
    }
    return found;
}

bool FindTreeEntry(const FileTree &tree, const std::string &dir, std::string_view name, std::string &path,
                   bool &isDirectory)
{
    std::vector<TreeEntry> entries;
    if (!tree.List(dir, entries))
        return false;
    const TreeEntry *found = FindListedEntry(entries, name);
    if (found == nullptr)
        return false;
    path = JoinTreePath(dir, found->name);
    isDirectory = found->isDirectory;
    return true;
}

bool FindTreePath(const FileTree &tree, const std::string &base, std::string_view relative, std::string &path)
{
    path = base;
    std::string_view part;
    while (NextPathPart(relative, part)) {
        bool isDirectory = true;
        if (part == ".")
            continue;
        if (part == ".." || !FindTreeEntry(tree, path, part, path, isDirectory))
            return false;
    }
    return true;
}
