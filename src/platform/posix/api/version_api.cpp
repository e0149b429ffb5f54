// GetVersionExA, answered from what the emulated registry records about the
// installed Windows, as a real installation keeps it.
#include <cstdlib>
#include <cstring>

#include "platform/posix/base/trace_line.h"
#include "platform/posix/base/win32_api.h"
#include "platform/posix/system/emulated_system.h"

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

bool FindText(const RegistrySource &source, const char *key, const char *name, std::string &text)
{
    DWORD type;
    std::string data;
    if (!source.FindValue(key, name, type, data))
        return false;
    text = data.c_str(); // up to its NUL
    return true;
}

// The family the installation records. A 95/98 system has an NT version
// key too (Drivers32 lives below it), but never its CurrentVersion value.
DWORD RecordedPlatformId(const RegistrySource &source, std::string &ntVersion, std::string &version9x)
{
    if (FindText(source, NtVersionKey, "CurrentVersion", ntVersion))
        return VER_PLATFORM_WIN32_NT;
    if (FindText(source, Windows9xVersionKey, "VersionNumber", version9x))
        return VER_PLATFORM_WIN32_WINDOWS;
    return 0;
}

// A version the installation does not record is a failure of its own.
BOOL TracedFailure(const char *why)
{
    if (SystemTracing())
        TraceLine("version").Null("platform").Text("failed", why).Write();
    return FALSE;
}

} // namespace

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info)
{
    const DWORD plainSize = sizeof(OSVERSIONINFOA);
    const DWORD extendedSize = 156;
    if (info == nullptr || (info->dwOSVersionInfoSize != plainSize && info->dwOSVersionInfoSize != extendedSize))
        return TracedFailure("the structure's size is neither OSVERSIONINFOA's nor OSVERSIONINFOEXA's");

    const RegistrySource &source = SystemRegistry();
    std::string ntVersion, version9x, build;
    DWORD platform = source.FormatPlatformId();
    DWORD recorded = RecordedPlatformId(source, ntVersion, version9x);
    if (platform == 0)
        platform = recorded;
    DWORD parts[3] = {0, 0, 0};
    if (platform == VER_PLATFORM_WIN32_NT) {
        ParseDottedVersion(ntVersion, parts);
        if (FindText(source, NtVersionKey, "CurrentBuildNumber", build))
            parts[2] = static_cast<DWORD>(std::strtoul(build.c_str(), nullptr, 10));
    } else if (platform == VER_PLATFORM_WIN32_WINDOWS) {
        if (version9x.empty())
            FindText(source, Windows9xVersionKey, "VersionNumber", version9x);
        ParseDottedVersion(version9x, parts);
    } else {
        return TracedFailure("the registry records no Windows version");
    }
    info->dwMajorVersion = parts[0];
    info->dwMinorVersion = parts[1];
    info->dwBuildNumber = parts[2];
    info->dwPlatformId = platform;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    if (SystemTracing())
        TraceLine("version").Number("platform", platform).Number("major", parts[0]).Number("minor", parts[1])
            .Number("build", parts[2]).Write();
    return TRUE;
}
