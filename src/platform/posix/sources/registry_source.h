// The one seam between the emulated registry API and what holds the
// registry: a .reg export, a Windows 95/98/Me SYSTEM.DAT or an NT hive pair.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/posix/base/fault.h"
#include "platform/posix/base/text_compare.h"
#include "platform/posix/base/win32_api.h"

struct RegistrySource {
    virtual ~RegistrySource() = default;
    // The Windows family the format itself stands for (a SYSTEM.DAT is the
    // 95/98 family, a hive pair NT), or 0 where only the contents can tell.
    virtual DWORD FormatPlatformId() const = 0;
    // `path` is below HKLM, any case, without a leading backslash; "" is HKLM.
    virtual bool KeyExists(std::string_view path) const = 0;
    // `name` "" is the default value. `data` is what RegQueryValueExA hands
    // out: strings in the 8-bit code page (UTF-8), ended by their NUL.
    virtual bool FindValue(std::string_view path, std::string_view name, DWORD &type, std::string &data) const = 0;
    // The key's own last-write time as a FILETIME, where the format keeps
    // one (NT hives); false elsewhere. Only the trace asks.
    virtual bool KeyLastWrite(std::string_view, std::uint64_t &) const { return false; }
    // Where SOFTWARE is a file of its own (an NT hive pair) that could not be
    // read: that file and why, so that what it lacks is put down to it;
    // words "" where it was read or is no file of its own.
    virtual Fault SoftwareUnread() const { return Fault(); }
};

// Strings come out of the A functions ended by a NUL, also where the stored
// data has none (Windows 9x keeps them without; an NT value may lack it).
inline void EndStringAsAFunctionDoes(DWORD type, std::string &data)
{
    if (IsStringType(type) && (data.empty() || data.back() != '\0'))
        data += '\0';
}
