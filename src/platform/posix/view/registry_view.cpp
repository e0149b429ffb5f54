// Redirects a 32-bit program's opens below HKLM\Software on a 64-bit
// installation, as WOW64 does, so that an offline system answers as the
// running one would.
#include "platform/posix/view/registry_view.h"

#include <cstring>
#include <string_view>

#include "platform/posix/sources/registry_source.h"
#include "platform/posix/sources/recorded_version.h"
#include "platform/posix/base/text_compare.h"

namespace {

enum Sharing { Redirected, Shared };

// Keys below HKLM\Software that WOW64 does not redirect, and keys redirected
// inside a shared parent, as the Win32 documentation's table "Registry Keys
// Affected by WOW64" lists them: how 5.2 to 6.0 treat each, and how 6.1 and
// later do. A key follows its nearest listed parent; an unlisted one follows
// Software itself, which is redirected. The table names MSInfo with its
// parent path written twice; it is listed here where it lies.
struct Wow64Key {
    const char *path;
    Sharing early, late;
};
const Wow64Key Wow64Keys[] = {
    {"Classes", Redirected, Shared},
    {"Classes\\Appid", Redirected, Shared},
    {"Classes\\CLSID", Redirected, Redirected},
    {"Classes\\DirectShow", Redirected, Redirected},
    {"Classes\\HCP", Shared, Shared},
    {"Classes\\Interface", Redirected, Redirected},
    {"Classes\\Media Type", Redirected, Redirected},
    {"Classes\\MediaFoundation", Redirected, Redirected},
    {"Clients", Redirected, Shared},
    {"Microsoft\\COM3", Redirected, Shared},
    {"Microsoft\\Cryptography\\Calais\\Current", Shared, Shared},
    {"Microsoft\\Cryptography\\Calais\\Readers", Shared, Shared},
    {"Microsoft\\Cryptography\\Services", Shared, Shared},
    {"Microsoft\\CTF\\SystemShared", Shared, Shared},
    {"Microsoft\\CTF\\TIP", Shared, Shared},
    {"Microsoft\\DFS", Shared, Shared},
    {"Microsoft\\Driver Signing", Shared, Shared},
    {"Microsoft\\EnterpriseCertificates", Shared, Shared},
    {"Microsoft\\EventSystem", Redirected, Shared},
    {"Microsoft\\MSMQ", Shared, Shared},
    {"Microsoft\\Non-Driver Signing", Shared, Shared},
    {"Microsoft\\Notepad\\DefaultFonts", Redirected, Shared},
    {"Microsoft\\OLE", Redirected, Shared},
    {"Microsoft\\RAS", Shared, Shared},
    {"Microsoft\\RPC", Redirected, Shared},
    {"Microsoft\\Shared Tools\\MSInfo", Shared, Shared},
    {"Microsoft\\SystemCertificates", Shared, Shared},
    {"Microsoft\\TermServLicensing", Shared, Shared},
    {"Microsoft\\TransactionServer", Shared, Shared},
    {"Microsoft\\Windows\\CurrentVersion\\App Paths", Redirected, Shared},
    {"Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cursors\\Schemes", Shared, Shared},
    {"Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers", Redirected, Shared},
    {"Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons", Redirected, Shared},
    {"Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap", Redirected, Shared},
    {"Microsoft\\Windows\\CurrentVersion\\Group Policy", Shared, Shared},
    {"Microsoft\\Windows\\CurrentVersion\\Policies", Shared, Shared},
    {"Microsoft\\Windows\\CurrentVersion\\PreviewHandlers", Redirected, Shared},
    {"Microsoft\\Windows\\CurrentVersion\\Setup", Shared, Shared},
    {"Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations", Shared, Shared},
    {"Microsoft\\Windows NT\\CurrentVersion\\Console", Redirected, Shared},
    {"Microsoft\\Windows NT\\CurrentVersion\\FontDpi", Shared, Shared},
    {"Microsoft\\Windows NT\\CurrentVersion\\FontLink", Redirected, Shared},
    {"Microsoft\\Windows NT\\CurrentVersion\\FontMapper", Shared, Shared},
    {"Microsoft\\Windows NT\\CurrentVersion\\Fonts", Shared, Shared},
    {"Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes", Shared, Shared},
    {"Microsoft\\Windows NT\\CurrentVersion\\Gre_Initialize", Redirected, Shared},
    {"Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options", Redirected, Shared},
    {"Microsoft\\Windows NT\\CurrentVersion\\Language Pack", Redirected, Shared},
    {"Microsoft\\Windows NT\\CurrentVersion\\NetworkCards", Shared, Shared},
    {"Microsoft\\Windows NT\\CurrentVersion\\Perflib", Shared, Shared},
    {"Microsoft\\Windows NT\\CurrentVersion\\Ports", Shared, Shared},
    {"Microsoft\\Windows NT\\CurrentVersion\\Print", Shared, Shared},
    {"Microsoft\\Windows NT\\CurrentVersion\\ProfileList", Shared, Shared},
    {"Microsoft\\Windows NT\\CurrentVersion\\Time Zones", Shared, Shared},
    {"Policies", Shared, Shared},
    {"RegisteredApplications", Shared, Shared},
};

const char SoftwareKey[] = "Software";
const char RedirectedName[] = "Wow6432Node";
const char ClassesKey[] = "Classes";
const char EnvironmentKey[] = "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char *const Wow64Architectures[] = {"AMD64", "IA64", "ARM64"};

// The length of `prefix` when `path` starts with it as whole key names (any
// case), else 0.
std::size_t LeadingKeys(const std::string &path, const char *prefix)
{
    std::size_t length = std::strlen(prefix);
    if (path.size() < length || !RegNamesEqual(std::string_view(path).substr(0, length), prefix))
        return 0;
    return path.size() == length || path[length] == '\\' ? length : 0;
}

// What follows the first `length` characters of `path` and the backslash after them.
std::string After(const std::string &path, std::size_t length)
{
    return length < path.size() ? path.substr(length + 1) : std::string();
}

std::string Joined(const std::string &parent, const std::string &child)
{
    return child.empty() ? parent : parent + '\\' + child;
}

Sharing SharingOf(const std::string &below, RegistryView view)
{
    Sharing sharing = Redirected;
    std::size_t longest = 0;
    for (const Wow64Key &key : Wow64Keys) {
        std::size_t length = LeadingKeys(below, key.path);
        if (length > longest) {
            longest = length;
            sharing = view == RegistryView::Wow64 ? key.late : key.early;
        }
    }
    return sharing;
}

} // namespace

RegistryView ViewOfRegistry(const RegistrySource &source)
{
    DWORD type;
    std::string data;
    if (!source.FindValue(EnvironmentKey, "PROCESSOR_ARCHITECTURE", type, data) ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return RegistryView::Native;
    bool wow64 = false;
    for (const char *architecture : Wow64Architectures)
        wow64 = wow64 || RegNamesEqual(data.c_str(), architecture);
    if (!wow64)
        return RegistryView::Native;
    // "6.1" and later share more; a version that cannot be read counts as older.
    RecordedVersion version;
    Fault why;
    bool late = ReadRecordedVersion(source, version, why) && version.platform == VER_PLATFORM_WIN32_NT &&
                (version.major > 6 || (version.major == 6 && version.minor >= 1));
    return late ? RegistryView::Wow64 : RegistryView::Wow64Early;
}

bool PathMayBeRedirected(const std::string &path)
{
    return LeadingKeys(path, SoftwareKey) != 0;
}

std::string PathInView(const std::string &path, RegistryView view)
{
    std::size_t software = LeadingKeys(path, SoftwareKey);
    if (view == RegistryView::Native || software == 0)
        return path;
    std::string head = path.substr(0, software);
    std::string below = After(path, software);

    // Back to the name the program would use, so that a path through a
    // handle already redirected is placed like any other.
    std::string redirected = Joined(ClassesKey, RedirectedName);
    if (std::size_t length = LeadingKeys(below, RedirectedName))
        below = After(below, length);
    else if (std::size_t classes = LeadingKeys(below, redirected.c_str()))
        below = Joined(ClassesKey, After(below, classes));

    if (SharingOf(below, view) == Shared)
        return Joined(head, below);
    // 32-bit classes lie in Classes\Wow6432Node; Wow6432Node\Classes is
    // only a link to there, which an offline hive does not follow.
    if (std::size_t classes = LeadingKeys(below, ClassesKey))
        return Joined(Joined(head, below.substr(0, classes) + '\\' + RedirectedName), After(below, classes));
    return Joined(Joined(head, RedirectedName), below);
}
