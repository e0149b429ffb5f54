#include "platform/posix/image/parent_lookup.h"

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

// "\\?\C:\VMs\base.vhdx" -> "base.vhdx"; the long-path prefix goes first.
std::string LastComponent(std::string path)
{
    if (path.compare(0, 4, "\\\\?\\") == 0)
        path = path.substr(4);
    std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool IsFile(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

} // namespace

std::string FolderOf(const std::string &path)
{
    std::size_t cut = path.find_last_of('/');
    if (cut == std::string::npos)
        return ".";
    return cut == 0 ? "/" : path.substr(0, cut);
}

bool FindParentFile(const std::string &child, const ParentReference &reference, std::string &found,
                    std::string &problem)
{
    const std::string folder = FolderOf(child) + "/";
    std::vector<std::string> tried;
    auto tryPath = [&](const std::string &path) {
        if (path.empty() || std::find(tried.begin(), tried.end(), path) != tried.end())
            return false;
        tried.push_back(path);
        return IsFile(path);
    };
    const std::string &relative = reference.relative;
    const std::string &absolute = reference.absolute;
    if (!relative.empty()) {
        std::string slashed = Slashed(relative);
        if (tryPath(slashed[0] == '/' ? slashed : folder + slashed)) {
            found = tried.back();
            return true;
        }
    }
    if (!absolute.empty() && (tryPath(absolute) || (IsWindowsAbsolute(absolute) &&
                                                    tryPath(folder + LastComponent(absolute))))) {
        found = tried.back();
        return true;
    }
    // A relative reference that names a Windows path gets its last component too.
    if (!relative.empty() && IsWindowsAbsolute(relative) && tryPath(folder + LastComponent(relative))) {
        found = tried.back();
        return true;
    }
    std::string recorded = !relative.empty() && !absolute.empty() ? relative + "' or '" + absolute
                                                                   : relative + absolute;
    std::string places;
    for (const std::string &path : tried)
        places += (places.empty() ? "" : ", ") + path;
    problem = child + ": its parent '" + recorded + "' is missing (looked for " +
              (places.empty() ? std::string("nothing: no name recorded") : places) + ")";
    return false;
}

bool AddChainLink(ChainFiles &chain, int fd, const std::string &path, std::string &problem)
{
    struct stat info;
    if (fstat(fd, &info) != 0) {
        problem = path + ": " + std::strerror(errno);
        return false;
    }
    std::pair<dev_t, ino_t> id(info.st_dev, info.st_ino);
    if (std::find(chain.seen.begin(), chain.seen.end(), id) != chain.seen.end()) {
        problem = "the chain of parent disks loops back to " + path;
        return false;
    }
    if (chain.seen.size() >= MaxChainLinks) {
        problem = "the chain of parent disks is deeper than " + std::to_string(MaxChainLinks) + " at " + path;
        return false;
    }
    chain.seen.push_back(id);
    return true;
}

int OpenChainFile(const std::string &path, std::string &problem)
{
    int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        problem = path + ": " + std::strerror(errno);
    return fd;
}
