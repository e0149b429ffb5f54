// The trace's events for the program's registry calls: what it asked, what
// was read, and what it got back.
#pragma once

#include <string>

#include "platform/posix/base/win32_api.h"

// An open of `subKey` below the key `parent` names (a path below HKLM; null
// for a handle that names no key), which returned `result`.
void TraceKeyOpen(const std::string *parent, LPCSTR subKey, LONG result);

// A query of the value `name` in the key `key` names (the path read; null for
// a handle that names no key), which returned `result`.
void TraceValueQuery(const std::string *key, LPCSTR name, LONG result);
