// Any bytes as an NT hive, both of the pair: opening must fail cleanly or
// give a source whose lookups stay inside the file and end.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/sources/regf_hive_source.h"

namespace {

std::string HiveFile;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    char pattern[] = "/dev/shm/dorovivi-fuzz-regf-XXXXXX";
    const char *dir = mkdtemp(pattern);
    if (dir == nullptr)
        std::abort();
    HiveFile = std::string(dir) + "/SYSTEM";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::FILE *file = std::fopen(HiveFile.c_str(), "wb");
    if (file == nullptr)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    std::string problem;
    RegistrySource *source = OpenRegfHiveSource(open(HiveFile.c_str(), O_RDONLY | O_CLOEXEC), "SYSTEM",
                                                open(HiveFile.c_str(), O_RDONLY | O_CLOEXEC), "SOFTWARE", problem);
    if (source == nullptr)
        return 0;
    const char *keys[] = {"SYSTEM", "SYSTEM\\Select", "SYSTEM\\CurrentControlSet\\Services\\TESRO411\\Parameters",
                          "SYSTEM\\ControlSet001\\Services", "Software\\KALVORA\\KALVORA PXM",
                          "Software\\Microsoft\\Windows NT\\CurrentVersion", "SOFTWARE\\a\\b\\c"};
    const char *names[] = {"", "Current", "version", "VendorDescription", "DesiredSSID", "CurrentVersion"};
    for (const char *key : keys) {
        source->KeyExists(key);
        for (const char *name : names) {
            DWORD type;
            std::string value;
            source->FindValue(key, name, type, value);
        }
    }
    delete source;
    return 0;
}
