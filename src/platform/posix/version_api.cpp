// GetVersionExA, answered from what the emulated registry records about the
// installed Windows, as a real installation keeps it.
#include <cstdlib>
#include <cstring>

#include "platform/posix/reg_image.h"
#include "platform/posix/win32_api.h"

namespace {

const char NtVersionKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion";
const char Windows9xVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";

// Reads up to three dot-separated numbers ("4.10.2222"); missing ones are 0.
void ParseDottedVersion(const std::string &text, DWORD (&parts)[3])
{
    const char *cursor = text.c_str();
    for (DWORD &part : parts) {
        char *end;
        part = static_cast<DWORD>(std::strtoul(cursor, &end, 10));
        if (*end != '.')
            break;
        cursor = end + 1;
    }
}

bool FindText(const RegImage &image, const char *key, const char *name, std::string &text)
{
    RegValueLine value;
    if (!RegImageFindValue(image, key, name, value))
        return false;
    text = value.data.c_str(); // up to its NUL
    return true;
}

} // namespace

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info)
{
    const DWORD plainSize = sizeof(OSVERSIONINFOA);
    const DWORD extendedSize = 156;
    if (info == nullptr || (info->dwOSVersionInfoSize != plainSize && info->dwOSVersionInfoSize != extendedSize))
        return FALSE;

    const RegImage &image = SystemRegistry();
    DWORD parts[3] = {0, 0, 0};
    DWORD platform;
    std::string text;
    if (RegImageKeyExists(image, NtVersionKey)) {
        platform = VER_PLATFORM_WIN32_NT;
        if (FindText(image, NtVersionKey, "CurrentVersion", text))
            ParseDottedVersion(text, parts);
        if (FindText(image, NtVersionKey, "CurrentBuildNumber", text))
            parts[2] = static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 10));
    } else if (FindText(image, Windows9xVersionKey, "VersionNumber", text)) {
        platform = VER_PLATFORM_WIN32_WINDOWS;
        ParseDottedVersion(text, parts);
    } else {
        return FALSE;
    }
    info->dwMajorVersion = parts[0];
    info->dwMinorVersion = parts[1];
    info->dwBuildNumber = parts[2];
    info->dwPlatformId = platform;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return TRUE;
}
