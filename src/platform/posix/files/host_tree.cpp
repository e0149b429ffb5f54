#include "platform/posix/files/host_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/base/filetime_text.h"
#include "platform/posix/base/evidence_file.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/owned_fd.h"
#include "platform/posix/base/text_compare.h"

std::string HostTree::HostPath(const std::string &path) const
{
    if (path.empty())
        return root;
    std::string full = root;
    if (full.empty() || full.back() != '/')
        full += '/';
    return full + path;
}

bool HostTree::List(const std::string &dir, std::vector<TreeEntry> &entries) const
{
    for (const auto &folder : listed)
        if (folder.first == dir) {
            entries.insert(entries.end(), folder.second.begin(), folder.second.end());
            return true;
        }
    std::size_t from = entries.size();
    std::string host = HostPath(dir);
    int folder = OpenEvidenceFolder(host);
    DIR *listing = folder >= 0 ? fdopendir(folder) : nullptr;
    if (listing == nullptr) {
        if (folder >= 0)
            close(folder);
        return false;
    }
    while (dirent *entry = readdir(listing)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        // The listing's own type where it gives one, so a directory of
        // thousands (system32) costs no stat per entry; a link is followed,
        // as a path through it would be.
        bool isDirectory = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat info;
            isDirectory = stat((host + "/" + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        }
        entries.push_back(TreeEntry{name, isDirectory});
    }
    closedir(listing);
    listed.emplace_back(dir, std::vector<TreeEntry>(entries.begin() + static_cast<std::ptrdiff_t>(from), entries.end()));
    return true;
}

// Opens without blocking, so that a FIFO or device in a boot file's place
// cannot stall the run.
bool HostTree::ReadStart(const std::string &path, char *buffer, std::size_t capacity, std::size_t &size) const
{
    OwnedFd fd(OpenEvidenceFile(HostPath(path)));
    return fd.Valid() && IsRegularFile(fd.fd) && ReadUpTo(fd.fd, buffer, capacity, size);
}

bool HostTree::WrittenTime(const std::string &path, std::uint64_t &filetime) const
{
    OwnedFd fd(OpenEvidenceFile(HostPath(path)));
    struct stat info;
    if (!fd.Valid() || fstat(fd.fd, &info) != 0 || info.st_mtim.tv_sec < 0)
        return false;
    filetime = FileTimeOfUnix(static_cast<std::uint64_t>(info.st_mtim.tv_sec), info.st_mtim.tv_nsec);
    return true;
}
