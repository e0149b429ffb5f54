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
    for (std::vector<RegistryLog> *logs : {&found.systemLogs, &found.softwareLogs}) {
        for (RegistryLog &log : *logs) {
            if (log.fd >= 0)
                close(log.fd);
            log.fd = -1;
        }
    }
}

std::string EmptyRegistryLine(const std::string &root, const std::string &problem)
{
    return "dorovivi: " + root + ": " + problem + "; reading an empty registry";
}
