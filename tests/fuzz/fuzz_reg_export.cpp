// Any bytes as a registry export: the import must neither crash nor read
// out of bounds, and every lookup must stay inside the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/posix/sources/reg_export.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    RegExport exported;
    LoadRegExport(std::string(reinterpret_cast<const char *>(data), size), exported);
    const char *keys[] = {"A", "a\\b", "Software\\KALVORA\\KALVORA PXM",
                          "System\\CurrentControlSet\\Services\\TESRO411\\Parameters"};
    const char *names[] = {"", "N", "version", "VendorDescription", "DesiredSSID"};
    for (const char *key : keys) {
        RegExportKeyExists(exported, key);
        for (const char *name : names) {
            RegValueLine value;
            RegExportFindValue(exported, key, name, value);
        }
    }
    // Every key the file named or implied, asked for every value it might hold.
    for (std::size_t n = 0; n < exported.names.size(); ++n) {
        const RegExport::Section &section = exported.sections[exported.names[n].section];
        std::string_view path = exported.text.substr(section.pathBegin, exported.names[n].length);
        RegExportKeyExists(exported, path);
        RegValueLine value;
        RegExportFindValue(exported, path, "N", value);
    }
    return 0;
}
