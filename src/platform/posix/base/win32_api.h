// The subset of the Win32 API the tool uses, declared with the Windows
// types and layout so the same code compiles against either side.
#pragma once

#include <cstdint>

typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef int BOOL;
typedef unsigned char BYTE;
typedef char CHAR;
typedef std::uint16_t ATOM;
typedef DWORD REGSAM;
typedef DWORD *LPDWORD;
typedef BYTE *LPBYTE;
typedef const char *LPCSTR;
typedef struct HKEY__ *HKEY;
typedef HKEY *PHKEY;

#define WINAPI
#define TRUE 1
#define FALSE 0

#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))

#define KEY_QUERY_VALUE 0x0001

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MORE_DATA 234L

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *LPOSVERSIONINFOA;

static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA must keep its Windows layout");

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData);
LONG WINAPI RegCloseKey(HKEY hKey);
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);
ATOM WINAPI GlobalAddAtomA(LPCSTR lpString);
