#include "platform/posix/sources/recorded_version.h"

namespace {

const char NtVersionKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion";
const char Windows9xVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";

bool FindText(const RegistrySource &source, const char *key, const char *name, std::string &text)
{
    DWORD type;
    std::string data;
    if (!source.FindValue(key, name, type, data) || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    text = data.c_str(); // up to its NUL
    return true;
}

bool FindNumber(const RegistrySource &source, const char *key, const char *name, DWORD &number)
{
    DWORD type;
    std::string data;
    if (!source.FindValue(key, name, type, data) || type != REG_DWORD || data.size() != 4)
        return false;
    number = 0;
    for (int i = 3; i >= 0; --i)
        number = number << 8 | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
    return true;
}

// Up to `count` decimal numbers with a dot between ("6.1", "4.10.2222") and
// nothing else; the ones not given are 0.
bool ParseDotted(const std::string &text, DWORD *parts, int count)
{
    int part = 0;
    std::size_t at = 0;
    for (int i = 0; i < count; ++i)
        parts[i] = 0;
    while (part < count) {
        std::size_t start = at;
        unsigned long long value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 9)
            value = value * 10 + static_cast<unsigned>(text[at++] - '0');
        if (at == start)
            return false;
        parts[part++] = static_cast<DWORD>(value);
        if (at == text.size())
            return true;
        if (text[at++] != '.')
            return false;
    }
    return false;
}

bool ReadNtVersion(const RegistrySource &source, RecordedVersion &version, Fault &fault)
{
    std::string current, build;
    DWORD parts[2];
    bool hasCurrent = FindText(source, NtVersionKey, "CurrentVersion", current);
    // Windows 10 keeps "6.3" in CurrentVersion for old readers and its own
    // numbers beside it.
    if (FindNumber(source, NtVersionKey, "CurrentMajorVersionNumber", version.major)) {
        if (!FindNumber(source, NtVersionKey, "CurrentMinorVersionNumber", version.minor))
            version.minor = 0;
    } else if (!hasCurrent) {
        fault.words = "Windows NT\\CurrentVersion records no CurrentVersion";
        return false;
    } else if (!ParseDotted(current, parts, 2)) {
        fault.words = "Windows NT\\CurrentVersion's CurrentVersion \"" + current + "\" is no version number";
        return false;
    } else {
        version.major = parts[0];
        version.minor = parts[1];
    }
    DWORD number[1] = {0};
    if (FindText(source, NtVersionKey, "CurrentBuildNumber", build) && !ParseDotted(build, number, 1)) {
        fault.words = "Windows NT\\CurrentVersion's CurrentBuildNumber \"" + build + "\" is no number";
        return false;
    }
    version.build = number[0];
    FindText(source, NtVersionKey, "CSDVersion", version.servicePack);
    version.text = std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
                   std::to_string(version.build);
    return true;
}

bool Read9xVersion(const RegistrySource &source, RecordedVersion &version, Fault &fault)
{
    DWORD parts[3];
    if (!FindText(source, Windows9xVersionKey, "VersionNumber", version.text)) {
        fault.words = "Windows\\CurrentVersion records no VersionNumber";
        return false;
    }
    if (!ParseDotted(version.text, parts, 3)) {
        fault.words = "Windows\\CurrentVersion's VersionNumber \"" + version.text + "\" is no version number";
        return false;
    }
    version.major = parts[0];
    version.minor = parts[1];
    version.build = parts[2];
    FindText(source, Windows9xVersionKey, "SubVersionNumber", version.servicePack);
    return true;
}

} // namespace

bool ReadRecordedVersion(const RegistrySource &source, RecordedVersion &version, Fault &fault)
{
    version = RecordedVersion();
    fault = Fault();
    std::string text;
    version.platform = source.FormatPlatformId();
    if (version.platform == 0 && FindText(source, NtVersionKey, "CurrentVersion", text))
        version.platform = VER_PLATFORM_WIN32_NT;
    else if (version.platform == 0 && FindText(source, Windows9xVersionKey, "VersionNumber", text))
        version.platform = VER_PLATFORM_WIN32_WINDOWS;
    bool read = false;
    if (version.platform == VER_PLATFORM_WIN32_NT)
        read = ReadNtVersion(source, version, fault);
    else if (version.platform == VER_PLATFORM_WIN32_WINDOWS)
        read = Read9xVersion(source, version, fault);
    else
        fault.words = "the registry records no Windows version";
    // What a SOFTWARE hive that could not be read lacks is put down to it.
    Fault unread = source.SoftwareUnread();
    if (!read && version.platform == VER_PLATFORM_WIN32_NT && !unread.words.empty())
        fault = unread;
    if (!read)
        version.platform = 0;
    return read;
}
