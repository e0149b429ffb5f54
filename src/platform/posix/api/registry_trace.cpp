#include "platform/posix/api/registry_trace.h"

#include <cstdint>

#include "platform/posix/base/filetime_text.h"
#include "platform/posix/base/trace_line.h"
#include "platform/posix/system/emulated_system.h"

namespace {

std::string KeyName(const std::string &path)
{
    return path.empty() ? "HKLM" : "HKLM\\" + path;
}

} // namespace

void TraceKeyOpen(const std::string *parent, LPCSTR subKey, LONG result)
{
    TraceLine line("open");
    if (parent == nullptr) {
        line.Null("key").Text("subkey", subKey != nullptr ? subKey : "").Number("result", result).Write();
        return;
    }
    std::string asked = *parent;
    if (subKey != nullptr && subKey[0] != '\0')
        asked += (asked.empty() ? "" : "\\") + std::string(subKey);
    std::string viewed = PathInSystemView(asked);
    line.Text("key", KeyName(asked));
    if (viewed != asked)
        line.Text("view", KeyName(viewed));
    line.Number("result", result);
    std::uint64_t filetime = 0;
    if (result == ERROR_SUCCESS && SystemRegistry().KeyLastWrite(viewed, filetime))
        line.Text("last_write", FileTimeText(filetime));
    line.Write();
}

void TraceValueQuery(const std::string *key, LPCSTR name, LONG result)
{
    TraceLine line("value");
    if (key == nullptr)
        line.Null("key");
    else
        line.Text("key", KeyName(*key));
    std::string valueName = name != nullptr ? name : "";
    line.Text("name", valueName);
    // A value that was found has its type and size, also where the buffer
    // was too small; a missing one has neither.
    DWORD type = 0;
    std::string data;
    if (key != nullptr && (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) &&
        SystemRegistry().FindValue(*key, valueName, type, data))
        line.Number("type", type).Number("size", static_cast<long long>(data.size()));
    line.Number("result", result).Write();
}
