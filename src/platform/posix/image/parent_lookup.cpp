#include "platform/posix/image/parent_lookup.h"
#include "platform/posix/base/evidence_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

bool IsWindowsAbsolute(const std::string &path)
{
    return (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
           path.compare(0, 2, "\\\\") == 0;
}

// Windows separators as POSIX ones, for a path looked for here.
std::string Slashed(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// What an image may not name is no candidate: a path recorded on another
// machine may name a file of this one.
const char OutsideWords[] = "not opened: an image's files are read from its folder and the one above it";

// Opened, as the file will be read, so that a name the reader may not open
// is passed over; a file is kept open in `opened`.
bool IsFile(const std::string &path, std::string &why, OwnedFd &opened)
{
    OwnedFd fd(OpenEvidenceFile(path));
    struct stat info;
    bool file = fd.Valid() && fstat(fd.fd, &info) == 0 && !S_ISDIR(info.st_mode);
    if (!fd.Valid() && errno == EPERM)
        why = std::string(" (") + OutsideWords + ")";
    if (file)
        opened = std::move(fd);
    return file;
}

} // namespace

std::string FolderOf(const std::string &path)
{
    std::size_t cut = path.find_last_of('/');
    if (cut == std::string::npos)
        return ".";
    return cut == 0 ? "/" : path.substr(0, cut);
}

std::string InFolder(const std::string &folder, const std::string &name)
{
    std::string path = name[0] == '/' || folder == "." ? "" : folder == "/" ? "/" : folder + "/";
    // "." components say nothing; ".." ones stay, for a symbolic link's sake.
    for (std::size_t at = 0; at <= name.size();) {
        std::size_t end = std::min(name.find('/', at), name.size());
        std::string part = name.substr(at, end - at);
        if (!part.empty() && part != ".")
            path += (path.empty() || path.back() == '/' ? "" : "/") + part;
        else if (at == 0 && name[0] == '/')
            path = "/";
        at = end + 1;
    }
    return path.empty() ? "." : path;
}

std::string LastComponent(std::string path)
{
    if (path.compare(0, 4, "\\\\?\\") == 0)
        path = path.substr(4);
    std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string LinkFile(const std::string &root, const std::string &path)
{
    return path == root ? "" : path;
}

bool FindParentFile(const std::string &child, const ParentReference &reference, std::string &found, Fault &fault,
                    OwnedFd &opened)
{
    const std::string folder = FolderOf(child);
    std::vector<std::string> looked, tried, recorded;
    auto tryPath = [&](const std::string &path) {
        if (path.empty() || std::find(looked.begin(), looked.end(), path) != looked.end())
            return false;
        std::string why;
        bool file = IsFile(path, why, opened);
        looked.push_back(path);
        tried.push_back(path + (file ? "" : why));
        return file;
    };
    // A Windows path is never here as it stands: only its last component is looked for.
    auto tryReference = [&](const std::string &name, const std::string &lookFor) {
        if (name.empty())
            return false;
        if (std::find(recorded.begin(), recorded.end(), name) == recorded.end())
            recorded.push_back(name);
        return !lookFor.empty() && tryPath(InFolder(folder, lookFor));
    };
    auto asRecorded = [](const std::string &name) {
        return IsWindowsAbsolute(name) ? LastComponent(name) : Slashed(name);
    };
    if (tryReference(reference.relative, asRecorded(reference.relative)) ||
        tryReference(reference.absolute, asRecorded(reference.absolute)) ||
        tryReference(reference.name, LastComponent(reference.name))) {
        found = looked.back();
        return true;
    }
    if (recorded.empty()) {
        fault = {"", "its parent is missing (the child records no name for it)"};
        return false;
    }
    std::string names, places;
    for (const std::string &name : recorded)
        names += (names.empty() ? "'" : " or '") + name + "'";
    for (const std::string &path : tried)
        places += (places.empty() ? "" : ", ") + path;
    fault = {"", "its parent " + names + " is missing (looked for " + places + ")"};
    return false;
}

bool AddChainLink(ChainFiles &chain, int fd, const std::string &path, Fault &fault)
{
    struct stat info;
    if (fstat(fd, &info) != 0) {
        fault = {path, std::strerror(errno)};
        return false;
    }
    std::pair<dev_t, ino_t> id(info.st_dev, info.st_ino);
    if (std::find(chain.seen.begin(), chain.seen.end(), id) != chain.seen.end()) {
        fault = {"", "the chain of parent disks loops back to " + path};
        return false;
    }
    if (chain.seen.size() >= MaxChainLinks) {
        fault = {"", "the chain of parent disks is deeper than " + std::to_string(MaxChainLinks) + " at " + path};
        return false;
    }
    chain.seen.push_back(id);
    chain.files.push_back(path);
    return true;
}

int OpenChainFile(const std::string &path, Fault &fault, int held)
{
    int fd = held >= 0 ? fcntl(held, F_DUPFD_CLOEXEC, 0) : OpenEvidenceFile(path);
    if (fd < 0)
        fault = {path, errno == EPERM ? OutsideWords : std::strerror(errno)};
    return fd;
}
