#include "adapter/adapter_key_path.h"

#include <cstring>

#include "adapter/path_text.h"
#include "adapter/platform_family.h"
#include "platform/win32.h"
#include "registry/read_reg_string.h"

char AdapterKeyPath[128];
char EnumKeyPath[256];
char ClassDriverKey[128];

namespace {

const char Separator[] = "\\";
const char EnumRoot[] = "Enum";
const char PcmciaEnumerator[] = "PCMCIA";
const char FirstDeviceInstance[] = "\\0";
const char DriverValue[] = "Driver";
const char ClassRoot[] = "System\\CurrentControlSet\\Services\\Class";
const char ServicesRoot[] = "System\\CurrentControlSet\\Services";
const char FirstInstanceService[] = "\\TESRO411";
const char ServiceParameters[] = "\\Parameters";

int BuildWindows9xKeyPath(const char *cardId)
{
    EnumKeyPath[0] = '\0';
    if (!AppendPathPiece(EnumKeyPath, EnumRoot) || !AppendPathPiece(EnumKeyPath, Separator) ||
        !AppendPathPiece(EnumKeyPath, PcmciaEnumerator) || !AppendPathPiece(EnumKeyPath, Separator) ||
        !AppendPathPiece(EnumKeyPath, cardId) || !AppendPathPiece(EnumKeyPath, FirstDeviceInstance))
        return 0;
    if (!ReadRegString(HKEY_LOCAL_MACHINE, EnumKeyPath, DriverValue, ClassDriverKey))
        return 0;

    // Built aside so that a "Driver" text too long for the path leaves the
    // previous path in place.
    char path[sizeof AdapterKeyPath] = "";
    if (!AppendPathPiece(path, ClassRoot) || !AppendPathPiece(path, Separator) ||
        !AppendPathPiece(path, ClassDriverKey))
        return 0;
    std::memcpy(AdapterKeyPath, path, sizeof path);
    return 1;
}

int BuildNtKeyPath()
{
    AdapterKeyPath[0] = '\0';
    return AppendPathPiece(AdapterKeyPath, ServicesRoot) && AppendPathPiece(AdapterKeyPath, FirstInstanceService) &&
           AppendPathPiece(AdapterKeyPath, ServiceParameters);
}

} // namespace

int BuildAdapterKeyPath(const char *cardId)
{
    switch (PlatformFamily) {
    case VER_PLATFORM_WIN32_WINDOWS:
        return BuildWindows9xKeyPath(cardId);
    case VER_PLATFORM_WIN32_NT:
        return BuildNtKeyPath(); // every card sits under the same service
    default:
        return 0;
    }
}
