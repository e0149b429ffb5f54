#include "inventory/scratch_directory.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool MakeScratchDirectory(std::string &path)
{
    const char *temporary = std::getenv("TMPDIR");
    std::string parent = temporary != nullptr && temporary[0] != '\0' ? temporary : "/tmp";
    path = parent + "/dorovivi-inventory-XXXXXX";
    if (mkdtemp(&path[0]) == nullptr) {
        std::fprintf(stderr, "dorovivi-inventory: cannot make a private directory in %s: %s\n", parent.c_str(),
                     std::strerror(errno));
        return false;
    }
    return true;
}

void RemoveScratchDirectory(const std::string &path)
{
    DIR *entries = opendir(path.c_str());
    if (entries != nullptr) {
        while (const dirent *entry = readdir(entries)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                unlink((path + "/" + entry->d_name).c_str());
        }
        closedir(entries);
    }
    if (rmdir(path.c_str()) != 0)
        std::fprintf(stderr, "dorovivi-inventory: cannot remove %s: %s\n", path.c_str(), std::strerror(errno));
}
