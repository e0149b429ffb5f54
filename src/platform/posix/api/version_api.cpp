// GetVersionExA, answered as Windows answers this program (which has no
// compatibility manifest) on the installation the emulated registry records.
#include <cstring>

#include "platform/posix/base/trace_line.h"
#include "platform/posix/base/win32_api.h"
#include "platform/posix/sources/recorded_version.h"
#include "platform/posix/system/emulated_system.h"

namespace {

// From Windows 8.1 (6.3) on, a program without a manifest is told Windows 8:
// 6.2, build 9200, and no service pack.
const DWORD ManifestlessMajor = 6, ManifestlessMinor = 2, ManifestlessBuild = 9200;

bool ToldWindows8(const RecordedVersion &recorded)
{
    return recorded.platform == VER_PLATFORM_WIN32_NT &&
           (recorded.major > 6 || (recorded.major == 6 && recorded.minor >= 3));
}

// 95/98/Me put the major and minor version in the build number's high word:
// 4.10.2222 gives 0x040A08AE.
DWORD BuildNumberOf(const RecordedVersion &recorded)
{
    if (recorded.platform != VER_PLATFORM_WIN32_WINDOWS)
        return recorded.build;
    return (recorded.major & 0xFF) << 24 | (recorded.minor & 0xFF) << 16 | (recorded.build & 0xFFFF);
}

BOOL TracedFailure(const std::string &why)
{
    if (Tracing())
        TraceLine("version").Null("platform").Text("failed", why).Write();
    return FALSE;
}

} // namespace

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info)
{
    StartEmulatedSystem();
    const DWORD plainSize = sizeof(OSVERSIONINFOA);
    const DWORD extendedSize = 156;
    if (info == nullptr || (info->dwOSVersionInfoSize != plainSize && info->dwOSVersionInfoSize != extendedSize))
        return TracedFailure("the structure's size is neither OSVERSIONINFOA's nor OSVERSIONINFOEXA's");

    RecordedVersion recorded;
    Fault why;
    if (!ReadRecordedVersion(SystemRegistry(), recorded, why)) {
        // A drive's format is its family's own: Windows answers there whatever
        // SOFTWARE holds, so the family stands and only the numbers go unknown
        // (0), said so in the trace. Elsewhere nothing tells the family.
        recorded = RecordedVersion();
        recorded.platform = SystemRegistry().FormatPlatformId();
        if (recorded.platform == 0)
            return TracedFailure(FaultText(why));
    }
    bool windows8 = ToldWindows8(recorded);
    info->dwMajorVersion = windows8 ? ManifestlessMajor : recorded.major;
    info->dwMinorVersion = windows8 ? ManifestlessMinor : recorded.minor;
    info->dwBuildNumber = windows8 ? ManifestlessBuild : BuildNumberOf(recorded);
    info->dwPlatformId = recorded.platform;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    if (!windows8)
        std::strncpy(info->szCSDVersion, recorded.servicePack.c_str(), sizeof info->szCSDVersion - 1);
    if (Tracing()) {
        TraceLine event("version");
        event.Number("platform", recorded.platform).Number("major", info->dwMajorVersion)
            .Number("minor", info->dwMinorVersion).Number("build", info->dwBuildNumber);
        if (why.words.empty())
            event.Text("recorded", recorded.text);
        else
            event.Null("recorded").Text("unrecorded", FaultText(why));
        event.Write();
    }
    return TRUE;
}
