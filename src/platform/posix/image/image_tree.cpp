#include "platform/posix/image/image_tree.h"

#include "platform/posix/base/filetime_text.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

// A registry file bigger than this is no registry file: NT's largest hives
// stay far below it.
const TSK_OFF_T MaxRegistryFile = 1024LL * 1024 * 1024;

// Directory entries read per directory at the most, so that a damaged
// directory cannot make the lookup endless.
const std::size_t MaxEntries = 65536;

} // namespace

bool ImageTree::List(const std::string &dir, std::vector<TreeEntry> &entries) const
{
    TSK_INUM_T address = fs->root_inum;
    if (!dir.empty()) {
        auto found = known.find(dir);
        if (found == known.end())
            return false;
        address = found->second;
    }
    TSK_FS_DIR *listing = tsk->fs_dir_open_meta(fs, address);
    if (listing == nullptr) {
        tsk->error_reset();
        return false;
    }
    std::size_t count = std::min(tsk->fs_dir_getsize(listing), MaxEntries);
    for (std::size_t i = 0; i < count; ++i) {
        TSK_FS_FILE *file = tsk->fs_dir_get(listing, i);
        if (file == nullptr)
            continue;
        const TSK_FS_NAME *name = file->name;
        bool live = name != nullptr && name->name != nullptr && (name->flags & TSK_FS_NAME_FLAG_ALLOC) != 0 &&
                    (name->type == TSK_FS_NAME_TYPE_DIR || name->type == TSK_FS_NAME_TYPE_REG);
        if (live && std::strcmp(name->name, ".") != 0 && std::strcmp(name->name, "..") != 0) {
            entries.push_back(TreeEntry{name->name, name->type == TSK_FS_NAME_TYPE_DIR});
            known[JoinTreePath(dir, name->name)] = name->meta_addr;
        }
        tsk->fs_file_close(file);
    }
    tsk->fs_dir_close(listing);
    tsk->error_reset();
    return true;
}

bool ImageTree::ReadStart(const std::string &path, char *buffer, std::size_t capacity, std::size_t &size) const
{
    auto found = known.find(path);
    if (found == known.end())
        return false;
    TSK_FS_FILE *file = tsk->fs_file_open_meta(fs, nullptr, found->second);
    // A damaged entry can record a negative size, which would read past `buffer`.
    if (file == nullptr || file->meta == nullptr || file->meta->size < 0) {
        if (file != nullptr)
            tsk->fs_file_close(file);
        tsk->error_reset();
        return false;
    }
    std::size_t wanted = static_cast<std::size_t>(std::min<TSK_OFF_T>(file->meta->size, capacity));
    ssize_t got = wanted == 0 ? 0 : tsk->fs_file_read(file, 0, buffer, wanted, TSK_FS_FILE_READ_FLAG_NONE);
    tsk->fs_file_close(file);
    tsk->error_reset();
    if (got < 0)
        return false;
    size = static_cast<std::size_t>(got);
    return true;
}

bool ImageTree::WrittenTime(const std::string &path, std::uint64_t &filetime) const
{
    auto found = known.find(path);
    TSK_FS_FILE *file = found == known.end() ? nullptr : tsk->fs_file_open_meta(fs, nullptr, found->second);
    bool known = file != nullptr && file->meta != nullptr && file->meta->mtime > 0;
    if (known)
        filetime = FileTimeOfUnix(static_cast<std::uint64_t>(file->meta->mtime), file->meta->mtime_nano);
    if (file != nullptr)
        tsk->fs_file_close(file);
    tsk->error_reset();
    return known;
}

TSK_FS_FILE *ImageTree::Open(const std::string &path, Fault &fault) const
{
    auto found = known.find(path);
    TSK_FS_FILE *file = found == known.end() ? nullptr : tsk->fs_file_open_meta(fs, nullptr, found->second);
    if (file == nullptr || file->meta == nullptr) {
        fault = {"", "cannot be opened"};
    } else if (file->meta->size < 0 || file->meta->size > MaxRegistryFile) {
        fault = {"", "too big for a registry file"};
    } else {
        return file;
    }
    if (file != nullptr)
        tsk->fs_file_close(file);
    tsk->error_reset();
    return nullptr;
}

long long ImageTree::ReadAt(TSK_FS_FILE *file, std::uint64_t at, void *buffer, std::size_t size) const
{
    std::uint64_t length = static_cast<std::uint64_t>(file->meta->size);
    if (at >= length)
        return 0;
    std::size_t wanted = length - at < size ? static_cast<std::size_t>(length - at) : size;
    std::size_t done = 0;
    while (done < wanted) {
        ssize_t got = tsk->fs_file_read(file, static_cast<TSK_OFF_T>(at + done), static_cast<char *>(buffer) + done,
                                        wanted - done, TSK_FS_FILE_READ_FLAG_NONE);
        if (got <= 0) {
            tsk->error_reset();
            return -1;
        }
        done += static_cast<std::size_t>(got);
    }
    return static_cast<long long>(done);
}

std::string ImageTree::Describe(const std::string &path) const
{
    std::string name = path;
    std::replace(name.begin(), name.end(), '/', '\\');
    return label + "\\" + name;
}
