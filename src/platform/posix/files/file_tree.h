// Where an installation's files come from: a host directory, or a file
// system inside a disk image. The installation lookup reads only through
// this, so one set of rules serves both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TreeEntry {
    std::string name;
    bool isDirectory;
};

// Paths in a tree are names as listed, joined by '/'; "" is its top.
struct FileTree {
    virtual ~FileTree() = default;
    virtual bool List(const std::string &dir, std::vector<TreeEntry> &entries) const = 0;
    // The first bytes of a regular file, up to `capacity`; `size` is how many.
    // False when it is no regular file or cannot be read.
    virtual bool ReadStart(const std::string &path, char *buffer, std::size_t capacity, std::size_t &size) const = 0;
    // How messages name `path`.
    virtual std::string Describe(const std::string &path) const = 0;
    // When the file was last written, as a FILETIME (UTC; FAT keeps local
    // time, read as UTC); false where it cannot be said.
    virtual bool WrittenTime(const std::string &path, std::uint64_t &filetime) const = 0;
};

std::string JoinTreePath(const std::string &dir, std::string_view name);

// The entry named `name` in any case (copies of a FAT or NTFS drive keep
// whatever case the copying tool chose); an exact match wins, else the first
// in byte order. Null for none.
const TreeEntry *FindListedEntry(const std::vector<TreeEntry> &entries, std::string_view name);

// The same among the entries of `dir`.
bool FindTreeEntry(const FileTree &tree, const std::string &dir, std::string_view name, std::string &path,
                   bool &isDirectory);

// Follows `relative` ('\' or '/' between its parts, any case) from `base`;
// ".." leads nowhere.
bool FindTreePath(const FileTree &tree, const std::string &base, std::string_view relative, std::string &path);
