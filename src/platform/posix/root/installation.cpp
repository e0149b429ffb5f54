#include "platform/posix/root/installation.h"

std::string EmptyRegistryLine(const std::string &root, const std::string &why)
{
    return root + ": " + why + "; reading an empty registry";
}
