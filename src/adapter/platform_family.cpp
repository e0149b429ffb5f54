#include "adapter/platform_family.h"

OSVERSIONINFOA VersionInfo = {sizeof(OSVERSIONINFOA), 0, 0, 0, 0, {0}};
DWORD &PlatformFamily = VersionInfo.dwPlatformId;

DWORD GetPlatformFamily()
{
    // A failed query leaves the family unknown, so the next call asks again.
    if (PlatformFamily == 0)
        GetVersionExA(&VersionInfo);
    return PlatformFamily;
}
