#include "adapter/adapter_match.h"

#include <cstring>

#include "adapter/adapter_key_path.h"
#include "adapter/platform_family.h"
#include "platform/win32.h"
#include "registry/read_reg_string.h"

char NetworkName[260];

namespace {

const char AdapterDescription[] = "Tessaro/IEEE PC Card";
const char DescriptionValue[] = "VendorDescription";
const char NetworkNameValue[] = "DesiredSSID";
const char FirstInstanceDigit = '1';
const char LastInstanceDigit = '9';

int IsExpectedAdapterAt(const char *keyPath)
{
    char description[128];
    // The constant is plain ASCII, so byte equality is the code page's equality.
    return ReadRegString(HKEY_LOCAL_MACHINE, keyPath, DescriptionValue, description) &&
           std::strcmp(description, AdapterDescription) == 0;
}

int FindNtAdapterInstance()
{
    char *instanceDigit = AdapterKeyPath + std::strlen(AdapterKeyPath) - InstanceDigitFromEnd;
    for (char digit = FirstInstanceDigit; digit <= LastInstanceDigit; ++digit) {
        *instanceDigit = digit;
        if (IsExpectedAdapterAt(AdapterKeyPath))
            return 1;
    }
    return 0;
}

} // namespace

int FindAdapterNetworkName(const char *cardId)
{
    DWORD family = GetPlatformFamily();
    if (!BuildAdapterKeyPath(cardId))
        return 0;
    int matched = family == VER_PLATFORM_WIN32_NT ? FindNtAdapterInstance() : IsExpectedAdapterAt(AdapterKeyPath);
    if (!matched)
        return 0;
    return ReadRegString(HKEY_LOCAL_MACHINE, AdapterKeyPath, NetworkNameValue, NetworkName);
}
