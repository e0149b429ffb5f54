// A directory of this machine as a file tree: a mounted drive or a copy.
#pragma once

#include <utility>
#include <vector>

#include "platform/posix/files/file_tree.h"

struct HostTree : FileTree {
    std::string root;
    // Each folder is listed once: choosing the installation looks at the
    // root and its folders again and again, and where the parser may open
    // nothing itself, each listing is a trip to the program.
    mutable std::vector<std::pair<std::string, std::vector<TreeEntry>>> listed;

    explicit HostTree(const std::string &top) : root(top) {}
    std::string HostPath(const std::string &path) const;

    bool List(const std::string &dir, std::vector<TreeEntry> &entries) const override;
    bool ReadStart(const std::string &path, char *buffer, std::size_t capacity, std::size_t &size) const override;
    std::string Describe(const std::string &path) const override { return HostPath(path); }
    bool WrittenTime(const std::string &path, std::uint64_t &filetime) const override;
};
