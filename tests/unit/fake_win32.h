// An in-memory registry, version and atom table behind the five Win32
// functions the tool calls, recording every call so tests can judge the
// order and number of reads.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

struct FakeCall {
    std::string function; // "RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey", "GetVersionExA", "GlobalAddAtomA"
    std::string argument; // the key path, value name or atom name
    LONG result;
};

namespace fake {

extern std::vector<FakeCall> Calls;
extern std::vector<std::string> AddedAtoms;
extern int OpenKeys; // keys opened and not yet closed

// Empties the fake and puts the tool's process-wide state back to its start.
void Reset();
void SetPlatform(DWORD platformId, bool querySucceeds = true);
void AddKey(const std::string &path);
void SetValue(const std::string &path, const std::string &name, DWORD type, const std::string &data);
// A text value stored with its NUL, as REG_SZ.
void SetText(const std::string &path, const std::string &name, const std::string &text);

// Calls of `function`, and of those the ones naming `argument`.
int CountCalls(const std::string &function);
int CountCalls(const std::string &function, const std::string &argument);
// The value names queried, in order.
std::vector<std::string> QueriedValues();
// The key paths opened successfully, in order.
std::vector<std::string> OpenedKeys();

} // namespace fake
