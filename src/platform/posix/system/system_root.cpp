#include "platform/posix/system/system_root.h"

#include <cstdlib>

std::string SystemRootPath()
{
    const char *root = std::getenv("DOROVIVI_ROOT");
    std::string path = root != nullptr && root[0] != '\0' ? root : "/var/lib/dorovivi";
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}
