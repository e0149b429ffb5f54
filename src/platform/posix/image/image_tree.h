// A FAT or NTFS file system inside a disk image as a file tree, read through
// libtsk. Only live entries count: deleted names are not a Windows directory.
#pragma once

#include <cstdint>
#include <map>

#include "platform/posix/files/file_tree.h"
#include "platform/posix/image/image_libraries.h"

struct ImageTree : FileTree {
    const TskFunctions *tsk;
    TSK_FS_INFO *fs;
    std::string label; // "disk.img: partition(1)", for messages
    mutable std::map<std::string, TSK_INUM_T> known; // path -> metadata address, as listed

    ImageTree(const TskFunctions *library, TSK_FS_INFO *system, const std::string &name)
        : tsk(library), fs(system), label(name)
    {
    }

    bool List(const std::string &dir, std::vector<TreeEntry> &entries) const override;
    bool ReadStart(const std::string &path, char *buffer, std::size_t capacity, std::size_t &size) const override;
    std::string Describe(const std::string &path) const override;
    bool WrittenTime(const std::string &path, std::uint64_t &filetime) const override;

    // Opens a file as listed, to be read by position and kept open; null
    // with `fault` when it cannot be opened or is too big for any registry
    // file.
    TSK_FS_FILE *Open(const std::string &path, Fault &fault) const;
    // Up to `size` bytes of `file` from `at`, fewer only at its end; -1 when
    // they cannot be read.
    long long ReadAt(TSK_FS_FILE *file, std::uint64_t at, void *buffer, std::size_t size) const;
};
