#include "platform/posix/root/root_contents.h"

Installation FindInstallation(const std::string &root, const std::string &windir, SandboxUse use)
{
    return RootKindOf(root).find(root, windir, use);
}
