// Any bytes as a registry export: the import must neither crash nor read
// out of bounds, and every lookup must stay inside the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/posix/sources/reg_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    RegImage image;
    LoadRegImage(std::string(reinterpret_cast<const char *>(data), size), image);
    const char *keys[] = {"A", "a\\b", "Software\\KALVORA\\KALVORA PXM",
                          "System\\CurrentControlSet\\Services\\TESRO411\\Parameters"};
    const char *names[] = {"", "N", "version", "VendorDescription", "DesiredSSID"};
    for (const char *key : keys) {
        RegImageKeyExists(image, key);
        for (const char *name : names) {
            RegValueLine value;
            RegImageFindValue(image, key, name, value);
        }
    }
    // Every key the file named or implied, asked for every value it might hold.
    for (std::size_t n = 0; n < image.names.size(); ++n) {
        const RegImage::Section &section = image.sections[image.names[n].section];
        std::string_view path = image.text.substr(section.pathBegin, image.names[n].length);
        RegImageKeyExists(image, path);
        RegValueLine value;
        RegImageFindValue(image, path, "N", value);
    }
    return 0;
}
