// The one door to the platform. The tool's code includes this header and
// calls the Win32 functions by their own names; on Windows they are the real
// ones, elsewhere the emulation under posix/ provides them.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/posix/base/win32_api.h"
#endif
