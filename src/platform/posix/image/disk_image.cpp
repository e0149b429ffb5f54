#include "platform/posix/image/disk_image.h"

Installation FindInDiskImage(const std::string &root, const std::string &)
{
    Installation result;
    result.problem = EmptyRegistryLine(root, "not a directory");
    return result;
}
