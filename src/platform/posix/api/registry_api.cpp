// RegOpenKeyExA, RegQueryValueExA and RegCloseKey over the emulated HKLM.
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/posix/api/registry_trace.h"
#include "platform/posix/base/trace_line.h"
#include "platform/posix/base/win32_api.h"
#include "platform/posix/system/emulated_system.h"

namespace {

// A handle is its key's slot number plus one, times four, which never meets
// the predefined root handles.
HKEY HandleOfSlot(unsigned slot)
{
    return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>((slot + 1) * 4));
}

// The open key a handle names, or kSystemKeySlots for anything else.
unsigned SlotOfHandle(HKEY key)
{
    std::uintptr_t raw = reinterpret_cast<std::uintptr_t>(key);
    if (raw == 0 || raw % 4 != 0 || raw / 4 > kSystemKeySlots || PathOfSystemKey(raw / 4 - 1) == nullptr)
        return kSystemKeySlots;
    return static_cast<unsigned>(raw / 4 - 1);
}

// The path below HKLM that a handle names; false for an unknown handle.
bool PathOfHandle(HKEY key, std::string &path)
{
    if (key == HKEY_LOCAL_MACHINE) {
        path.clear();
        return true;
    }
    unsigned slot = SlotOfHandle(key);
    if (slot == kSystemKeySlots)
        return false;
    path = *PathOfSystemKey(slot);
    return true;
}

LONG OpenKey(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult)
{
    if (phkResult == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::string path;
    if (!PathOfHandle(hKey, path))
        return ERROR_INVALID_HANDLE;
    if (lpSubKey != nullptr && lpSubKey[0] != '\0') {
        if (!path.empty())
            path += '\\';
        path += lpSubKey;
    }
    path = PathInSystemView(path); // the program is 32-bit: WOW64 redirects its opens
    if (!SystemRegistry().KeyExists(path))
        return ERROR_FILE_NOT_FOUND;
    unsigned slot;
    if (!OpenSystemKey(path, slot))
        return ERROR_NOT_ENOUGH_MEMORY;
    *phkResult = HandleOfSlot(slot);
    return ERROR_SUCCESS;
}

LONG QueryValue(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr))
        return ERROR_INVALID_PARAMETER;
    std::string path;
    if (!PathOfHandle(hKey, path))
        return ERROR_INVALID_HANDLE;
    DWORD type;
    std::string data;
    if (!SystemRegistry().FindValue(path, lpValueName != nullptr ? lpValueName : "", type, data))
        return ERROR_FILE_NOT_FOUND;
    if (lpType != nullptr)
        *lpType = type;
    if (lpcbData == nullptr)
        return ERROR_SUCCESS;
    auto needed = static_cast<DWORD>(data.size());
    DWORD capacity = *lpcbData;
    *lpcbData = needed;
    if (lpData == nullptr)
        return ERROR_SUCCESS;
    if (needed > capacity)
        return ERROR_MORE_DATA;
    std::memcpy(lpData, data.data(), needed);
    return ERROR_SUCCESS;
}

} // namespace

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult)
{
    StartEmulatedSystem();
    LONG result = OpenKey(hKey, lpSubKey, phkResult);
    if (Tracing()) {
        std::string parent;
        TraceKeyOpen(PathOfHandle(hKey, parent) ? &parent : nullptr, lpSubKey, result);
    }
    return result;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData)
{
    StartEmulatedSystem();
    LONG result = QueryValue(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
    if (Tracing()) {
        std::string key;
        TraceValueQuery(PathOfHandle(hKey, key) ? &key : nullptr, lpValueName, result);
    }
    return result;
}

LONG WINAPI RegCloseKey(HKEY hKey)
{
    return CloseSystemKey(SlotOfHandle(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
