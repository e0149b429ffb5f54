#include "platform/posix/parser/state_trace.h"

#include "platform/posix/base/filetime_text.h"
#include "platform/posix/base/sha256.h"
#include "platform/posix/base/trace_line.h"

namespace {

void AppendFile(std::string &json, const char *name, const RegistryFile &file, const FileDigest &digest)
{
    json += json.size() > 1 ? ",{\"name\":" : "{\"name\":";
    AppendJsonString(json, name);
    json += ",\"file\":";
    AppendJsonString(json, file.name);
    json += ",\"sha256\":";
    if (digest.read)
        AppendJsonString(json, digest.sha256);
    else
        json += "null";
    json += '}';
}

} // namespace

void TraceState(const Installation &found, const FileDigest digests[2])
{
    const StateFacts &state = found.state;
    if (!Tracing() || state.name.empty())
        return;
    TraceLine line("state");
    line.Text("name", state.name);
    if (state.time != 0)
        line.Text("time", FileTimeText(state.time));
    else
        line.Null("time");
    line.Text("time_from", state.timeFrom);
    std::string files = "[";
    bool nt = found.kind == InstallationKind::WindowsNt;
    AppendFile(files, nt ? "SYSTEM" : "SYSTEM.DAT", found.registry, digests[0]);
    if (nt)
        AppendFile(files, "SOFTWARE", found.software, digests[1]);
    line.Json("files", files + "]");
    if (state.pointType >= 0)
        line.Text("description", state.description).Number("type", state.pointType);
    line.Write();
}
