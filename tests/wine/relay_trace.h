// Reads Wine's relay trace (WINEDEBUG=+relay) for the calls that the tool's
// own code made, leaving out those of the runtime and of Wine itself.
#pragma once

#include <string>
#include <vector>

struct RelayCall {
    std::string function;          // without its module, "RegOpenKeyExA"
    std::vector<std::string> args; // as Wine prints them
    std::string result;            // retval, "" if no return was traced
};

// The calls whose return address lies in dorovivi.exe, in the thread that
// runs its entry point, in order.
std::vector<RelayCall> ToolCallsOf(const std::string &trace);

// "" when the registry was only read: every open below HKLM, options 0,
// access KEY_QUERY_VALUE alone, each opened key closed before the next open,
// and no other registry function called. Else what was wrong.
std::string CheckReadOnlyRegistryUse(const std::vector<RelayCall> &calls);

int CountRelayCalls(const std::vector<RelayCall> &calls, const std::string &function,
                    const std::string &argument = "");
