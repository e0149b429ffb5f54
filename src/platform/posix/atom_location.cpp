#include "platform/posix/atom_location.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/installation.h"
#include "platform/posix/system_root.h"

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
        std::fprintf(stderr, "dorovivi: %s: %s; no atom added\n", dir.c_str(), std::strerror(errno));
        return false;
    }
    struct stat info;
    if (lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        std::fprintf(stderr, "dorovivi: %s is not a private directory of this user; no atom added\n", dir.c_str());
        return false;
    }
    return true;
}

} // namespace

bool AtomTablePath(std::string &path)
{
    path = Environment("DOROVIVI_ATOMS");
    if (!path.empty())
        return true;
    if (!SystemInstallation().windowsFound) {
        path = SystemRootFile("atoms");
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
