#include "relay_trace.h"

#include <cstdlib>
#include <sstream>

namespace {

// Where the executable is mapped (its image base and size of image).
const unsigned long ImageBegin = 0x00400000;
const unsigned long ImageEnd = 0x00500000;

struct TraceLine {
    std::string thread;
    bool isCall;
    std::string function;
    std::string inside; // between the parentheses
    std::string retval;
    unsigned long returnAddress;
};

bool ParseLine(const std::string &line, TraceLine &parsed)
{
    std::size_t colon = line.find(':');
    if (colon == std::string::npos)
        return false;
    parsed.thread = line.substr(0, colon);
    std::string rest = line.substr(colon + 1);
    if (rest.rfind("Call ", 0) == 0)
        parsed.isCall = true;
    else if (rest.rfind("Ret  ", 0) == 0)
        parsed.isCall = false;
    else
        return false;
    std::size_t open = rest.find('(');
    std::size_t ret = rest.rfind(" ret=");
    if (open == std::string::npos || ret == std::string::npos || ret < open)
        return false;
    std::string qualified = rest.substr(5, open - 5);
    std::size_t dot = qualified.find('.');
    parsed.function = dot == std::string::npos ? qualified : qualified.substr(dot + 1);
    std::size_t close = rest.rfind(')', ret);
    parsed.inside = close != std::string::npos && close > open ? rest.substr(open + 1, close - open - 1) : "";
    std::size_t retval = rest.find("retval=", close == std::string::npos ? open : close);
    parsed.retval = retval != std::string::npos && retval < ret ? rest.substr(retval + 7, ret - retval - 7) : "";
    parsed.returnAddress = std::strtoul(rest.c_str() + ret + 5, nullptr, 16);
    return true;
}

bool InImage(unsigned long address)
{
    return address >= ImageBegin && address < ImageEnd;
}

// Splits Wine's argument list at the commas outside quoted texts.
std::vector<std::string> SplitArgs(const std::string &inside)
{
    std::vector<std::string> args;
    std::string current;
    bool quoted = false;
    for (std::size_t i = 0; i < inside.size(); ++i) {
        char c = inside[i];
        if (quoted && c == '\\' && i + 1 < inside.size()) {
            current += c;
            current += inside[++i];
            continue;
        }
        if (c == '"')
            quoted = !quoted;
        if (c == ',' && !quoted) {
            args.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty() || !args.empty())
        args.push_back(current);
    return args;
}

} // namespace

std::vector<RelayCall> ToolCallsOf(const std::string &trace)
{
    std::vector<TraceLine> lines;
    std::istringstream in(trace);
    std::string text;
    std::string toolThread;
    while (std::getline(in, text)) {
        TraceLine line;
        if (!ParseLine(text, line))
            continue;
        // The tool's entry point asks for its command line first; no other
        // process of the run does so from inside the tool's image.
        if (toolThread.empty() && line.isCall && line.function == "GetCommandLineA" && InImage(line.returnAddress))
            toolThread = line.thread;
        lines.push_back(line);
    }
    std::vector<RelayCall> calls;
    for (const TraceLine &line : lines) {
        if (line.thread != toolThread || !InImage(line.returnAddress))
            continue;
        if (line.isCall) {
            calls.push_back(RelayCall{line.function, SplitArgs(line.inside), ""});
            continue;
        }
        for (auto call = calls.rbegin(); call != calls.rend(); ++call) {
            if (call->function == line.function && call->result.empty()) {
                call->result = line.retval;
                break;
            }
        }
    }
    return calls;
}

std::string CheckReadOnlyRegistryUse(const std::vector<RelayCall> &calls)
{
    bool keyOpen = false;
    for (const RelayCall &call : calls) {
        if (call.function == "RegOpenKeyExA") {
            if (call.args.size() != 5 || call.args[0] != "80000002" || call.args[2] != "00000000" ||
                call.args[3] != "00000001")
                return "RegOpenKeyExA asked more than reading below HKLM: " + call.args[0] + " " +
                       (call.args.size() > 3 ? call.args[3] : "");
            if (keyOpen)
                return "a key was opened while another was still open";
            keyOpen = call.result == "00000000";
        } else if (call.function == "RegCloseKey") {
            if (!keyOpen)
                return "RegCloseKey without an opened key";
            keyOpen = false;
        } else if (call.function == "RegQueryValueExA") {
            if (!keyOpen)
                return "RegQueryValueExA without an opened key";
        } else if (call.function.rfind("Reg", 0) == 0) {
            return "registry function " + call.function + " called";
        }
    }
    return keyOpen ? "a key was left open" : "";
}

int CountRelayCalls(const std::vector<RelayCall> &calls, const std::string &function, const std::string &argument)
{
    int count = 0;
    for (const RelayCall &call : calls) {
        if (call.function != function)
            continue;
        bool named = argument.empty();
        for (const std::string &arg : call.args)
            named = named || arg.find(argument) != std::string::npos;
        count += named;
    }
    return count;
}
