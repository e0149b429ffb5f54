#pragma once

#include "platform/win32.h"

// The version record is asked for once; its platform id is the cached family
// (0 until a query has succeeded).
extern OSVERSIONINFOA VersionInfo;
extern DWORD &PlatformFamily;

DWORD GetPlatformFamily();
