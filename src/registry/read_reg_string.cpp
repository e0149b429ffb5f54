#include "registry/read_reg_string.h"

#include <cstring>

int ReadRegStringInto(HKEY root, const char *keyPath, const char *valueName, char *destination,
                      std::size_t capacity)
{
    HKEY key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;

    // The registry may hand back up to the announced limit, which can exceed
    // the caller's buffer, so the bytes land here first.
    BYTE scratch[ValueReadLimit];
    DWORD type = REG_NONE;
    DWORD size = ValueReadLimit;
    LONG status = RegQueryValueExA(key, valueName, nullptr, &type, scratch, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || size > ValueReadLimit)
        return 0;

    // A value stored without its NUL still has to end up as a text.
    bool terminated = size > 0 && scratch[size - 1] == 0;
    std::size_t needed = terminated ? size : size + 1;
    if (needed > capacity)
        return 0;
    std::memcpy(destination, scratch, size);
    destination[needed - 1] = '\0';
    return 1;
}
