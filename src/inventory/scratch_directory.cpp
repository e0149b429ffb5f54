#include "inventory/scratch_directory.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "inventory/error_lines.h"

bool MakeScratchDirectory(std::string &path)
{
    const char *temporary = std::getenv("TMPDIR");
    std::string parent = temporary != nullptr && temporary[0] != '\0' ? temporary : "/tmp";
    path = parent + "/dorovivi-inventory-XXXXXX";
    if (mkdtemp(&path[0]) == nullptr) {
        WriteErrorLines("dorovivi-inventory: cannot make a private directory in " + parent + ": " +
                        std::strerror(errno) + "\n");
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
        WriteErrorLines("dorovivi-inventory: cannot remove " + path + ": " + std::strerror(errno) + "\n");
}
