#pragma once

#include "platform/posix/sources/reg_export.h"
#include "platform/posix/sources/registry_source.h"

// HKLM from a loaded .reg export; the export must outlive the source.
struct RegExportSource : RegistrySource {
    const RegExport &exported;
    explicit RegExportSource(const RegExport &loaded) : exported(loaded) {}
    DWORD FormatPlatformId() const override { return 0; }
    bool KeyExists(std::string_view path) const override { return RegExportKeyExists(exported, path); }
    bool FindValue(std::string_view path, std::string_view name, DWORD &type, std::string &data) const override
    {
        RegValueLine value;
        if (!RegExportFindValue(exported, path, name, value))
            return false;
        type = value.type;
        data.swap(value.data);
        return true;
    }
};
