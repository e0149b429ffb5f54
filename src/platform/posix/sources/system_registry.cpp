// Picks the registry source for the system root, once per process.
#include "platform/posix/sources/reg_image_source.h"
#include "platform/posix/system_root.h"

namespace {

RegImage SystemImage;
RegImageSource SystemImageSource(SystemImage);
const RegistrySource *SystemSource = nullptr;

} // namespace

const RegistrySource &SystemRegistry()
{
    if (SystemSource == nullptr) {
        LoadRegImageFile(SystemRootFile("HKLM.reg").c_str(), SystemImage);
        SystemSource = &SystemImageSource;
    }
    return *SystemSource;
}

void ForgetSystemRegistry()
{
    SystemSource = nullptr;
}
