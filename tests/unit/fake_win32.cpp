#include "fake_win32.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>

#include "adapter/adapter_key_path.h"
#include "adapter/adapter_match.h"
#include "adapter/platform_family.h"

namespace fake {

std::vector<FakeCall> Calls;
std::vector<std::string> AddedAtoms;
int OpenKeys;

namespace {

struct Value {
    DWORD type;
    std::string data;
};

std::map<std::string, std::map<std::string, Value>> Keys; // lowercased
std::vector<std::string> Handles;                          // path per handle, "" once closed
DWORD Platform;
bool VersionSucceeds;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

LONG Record(const char *function, const std::string &argument, LONG result)
{
    Calls.push_back(FakeCall{function, argument, result});
    return result;
}

} // namespace

void Reset()
{
    Calls.clear();
    AddedAtoms.clear();
    Keys.clear();
    Handles.clear();
    OpenKeys = 0;
    Platform = 0;
    VersionSucceeds = false;
    std::memset(AdapterKeyPath, 0, sizeof AdapterKeyPath);
    std::memset(EnumKeyPath, 0, sizeof EnumKeyPath);
    std::memset(ClassDriverKey, 0, sizeof ClassDriverKey);
    std::memset(NetworkName, 0, sizeof NetworkName);
    PlatformFamily = 0;
}

void SetPlatform(DWORD platformId, bool querySucceeds)
{
    Platform = platformId;
    VersionSucceeds = querySucceeds;
}

void AddKey(const std::string &path)
{
    Keys[Lower(path)];
}

void SetValue(const std::string &path, const std::string &name, DWORD type, const std::string &data)
{
    Keys[Lower(path)][Lower(name)] = Value{type, data};
}

void SetText(const std::string &path, const std::string &name, const std::string &text)
{
    SetValue(path, name, REG_SZ, text + '\0');
}

int CountCalls(const std::string &function)
{
    return static_cast<int>(
        std::count_if(Calls.begin(), Calls.end(), [&](const FakeCall &call) { return call.function == function; }));
}

int CountCalls(const std::string &function, const std::string &argument)
{
    return static_cast<int>(std::count_if(Calls.begin(), Calls.end(), [&](const FakeCall &call) {
        return call.function == function && call.argument == argument;
    }));
}

std::vector<std::string> QueriedValues()
{
    std::vector<std::string> names;
    for (const FakeCall &call : Calls) {
        if (call.function == "RegQueryValueExA")
            names.push_back(call.argument);
    }
    return names;
}

std::vector<std::string> OpenedKeys()
{
    std::vector<std::string> paths;
    for (const FakeCall &call : Calls) {
        if (call.function == "RegOpenKeyExA" && call.result == ERROR_SUCCESS)
            paths.push_back(call.argument);
    }
    return paths;
}

} // namespace fake

using namespace fake;

namespace {

std::string *PathOf(HKEY key)
{
    auto index = reinterpret_cast<std::uintptr_t>(key);
    if (index == 0 || index > Handles.size() || Handles[index - 1].empty())
        return nullptr;
    return &Handles[index - 1];
}

} // namespace

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    std::string path = lpSubKey;
    // The tool only ever reads, and only below HKLM.
    if (hKey != HKEY_LOCAL_MACHINE || ulOptions != 0 || samDesired != KEY_QUERY_VALUE)
        return Record("RegOpenKeyExA", path, ERROR_ACCESS_DENIED);
    if (Keys.find(Lower(path)) == Keys.end())
        return Record("RegOpenKeyExA", path, ERROR_FILE_NOT_FOUND);
    Handles.push_back(Lower(path));
    *phkResult = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(Handles.size()));
    ++OpenKeys;
    return Record("RegOpenKeyExA", path, ERROR_SUCCESS);
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData)
{
    std::string name = lpValueName;
    std::string *path = PathOf(hKey);
    if (path == nullptr)
        return Record("RegQueryValueExA", name, ERROR_INVALID_HANDLE);
    if (lpReserved != nullptr || lpcbData == nullptr)
        return Record("RegQueryValueExA", name, ERROR_INVALID_PARAMETER);
    const auto &values = Keys[*path];
    auto found = values.find(Lower(name));
    if (found == values.end())
        return Record("RegQueryValueExA", name, ERROR_FILE_NOT_FOUND);
    if (lpType != nullptr)
        *lpType = found->second.type;
    auto needed = static_cast<DWORD>(found->second.data.size());
    DWORD capacity = *lpcbData;
    *lpcbData = needed;
    if (needed > capacity)
        return Record("RegQueryValueExA", name, ERROR_MORE_DATA);
    std::memcpy(lpData, found->second.data.data(), needed);
    return Record("RegQueryValueExA", name, ERROR_SUCCESS);
}

LONG WINAPI RegCloseKey(HKEY hKey)
{
    std::string *path = PathOf(hKey);
    if (path == nullptr)
        return Record("RegCloseKey", "", ERROR_INVALID_HANDLE);
    std::string closed = *path;
    path->clear();
    --OpenKeys;
    return Record("RegCloseKey", closed, ERROR_SUCCESS);
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info)
{
    Calls.push_back(FakeCall{"GetVersionExA", "", VersionSucceeds ? 1 : 0});
    if (!VersionSucceeds || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA))
        return FALSE;
    info->dwPlatformId = Platform;
    return TRUE;
}

ATOM WINAPI GlobalAddAtomA(LPCSTR lpString)
{
    AddedAtoms.push_back(lpString);
    Calls.push_back(FakeCall{"GlobalAddAtomA", lpString, 0xC000});
    return 0xC000;
}
