#include "platform/posix/root/installation.h"

#include <unistd.h>

void CloseInstallationFiles(Installation &found)
{
    if (found.registryFd >= 0)
        close(found.registryFd);
    if (found.softwareFd >= 0)
        close(found.softwareFd);
    found.registryFd = -1;
    found.softwareFd = -1;
}

std::string EmptyRegistryLine(const std::string &root, const std::string &problem)
{
    return "dorovivi: " + root + ": " + problem + "; reading an empty registry";
}
