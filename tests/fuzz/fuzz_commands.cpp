// Any bytes as the system's HKLM.reg, then the whole "H" and "@" commands
// over it through the emulation, as one run of the program each.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "adapter/adapter_key_path.h"
#include "adapter/adapter_match.h"
#include "adapter/network_name_query.h"
#include "adapter/platform_family.h"
#include "companion/companion_probe.h"
#include "platform/posix/system/emulated_system.h"

namespace {

std::string ExportFile;

// A fresh process for each input, as far as the tool's state goes.
void ForgetRun()
{
    std::memset(AdapterKeyPath, 0, sizeof AdapterKeyPath);
    std::memset(EnumKeyPath, 0, sizeof EnumKeyPath);
    std::memset(ClassDriverKey, 0, sizeof ClassDriverKey);
    std::memset(NetworkName, 0, sizeof NetworkName);
    PlatformFamily = 0;
    ResetEmulatedSystem();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // A memory-backed root keeps the atom table's writes cheap.
    char pattern[] = "/dev/shm/dorovivi-fuzz-XXXXXX";
    const char *root = mkdtemp(pattern);
    if (root == nullptr)
        std::abort();
    setenv("DOROVIVI_ROOT", root, 1);
    ExportFile = std::string(root) + "/HKLM.reg";
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::FILE *file = std::fopen(ExportFile.c_str(), "wb");
    if (file == nullptr)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    ForgetRun();
    int h = RunNetworkNameQuery();
    if (h != 0 && h != 2 && h != 5)
        std::abort();
    ForgetRun();
    int probe = RunCompanionProbe();
    if (probe != 100 && probe != 101)
        std::abort();
    return 0;
}
