#include "platform/posix/system_root.h"

#include <cstdlib>

std::string SystemRootFile(const char *file)
{
    const char *root = std::getenv("DOROVIVI_ROOT");
    std::string path = root != nullptr && root[0] != '\0' ? root : "/var/lib/dorovivi";
    if (path.back() != '/')
        path += '/';
    return path + file;
}
