// Any bytes as an NT hive, both of the pair: opening must fail cleanly or
// give a source whose lookups stay inside the file and end.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/posix/sources/regf_hive_source.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    RegistryFile system, software;
    system.name = "SYSTEM";
    software.name = "SOFTWARE";
    system.bytes = std::make_shared<MemoryFileBytes>(data, size);
    software.bytes = system.bytes;
    std::vector<HiveFileFacts> facts;
    RegistrySource *source = OpenRegfHiveSource(system, {}, software, {}, facts);
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
