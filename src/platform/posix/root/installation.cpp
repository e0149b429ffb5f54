#include "platform/posix/root/installation.h"

std::string EmptyRegistryLine(const std::string &root, const std::string &problem)
{
    return root + ": " + problem + "; reading an empty registry";
}
