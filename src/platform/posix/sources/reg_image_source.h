#pragma once

#include "platform/posix/sources/reg_image.h"
#include "platform/posix/sources/registry_source.h"

// HKLM from a loaded .reg export; the image must outlive the source.
struct RegImageSource : RegistrySource {
    const RegImage &image;
    explicit RegImageSource(const RegImage &loaded) : image(loaded) {}
    DWORD FormatPlatformId() const override { return 0; }
    bool KeyExists(std::string_view path) const override { return RegImageKeyExists(image, path); }
    bool FindValue(std::string_view path, std::string_view name, DWORD &type, std::string &data) const override
    {
        RegValueLine value;
        if (!RegImageFindValue(image, path, name, value))
            return false;
        type = value.type;
        data.swap(value.data);
        return true;
    }
};
