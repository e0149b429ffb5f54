#include "platform/posix/atoms/atom_location.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/posix/base/error_line.h"

namespace {

std::string Environment(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Makes `dir` if needed and accepts it only as a real directory of this
// user that nobody else may write to: another user's directory in a shared
// /tmp could hand the table to them.
bool PrivateDirectory(const std::string &dir)
{
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        PrintErrorLine(dir + ": " + std::strerror(errno) + "; no atom added");
        return false;
    }
    struct stat info;
    if (lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        PrintErrorLine(dir + " is not a private directory of this user; no atom added");
        return false;
    }
    return true;
}

} // namespace

bool AtomTablePath(bool windowsDisk, const std::string &root, std::string &path)
{
    path = Environment("DOROVIVI_ATOMS");
    if (!path.empty())
        return true;
    if (!windowsDisk) {
        path = root + (root.back() == '/' ? "" : "/") + "atoms";
        return true;
    }
    std::string dir = Environment("XDG_RUNTIME_DIR");
    if (!dir.empty()) {
        dir += "/dorovivi";
    } else {
        std::string temporary = Environment("TMPDIR");
        dir = (temporary.empty() ? std::string("/tmp") : temporary) + "/dorovivi-" + std::to_string(getuid());
    }
    if (!PrivateDirectory(dir))
        return false;
    path = dir + "/atoms";
    return true;
}
