#include "platform/posix/parser/registry_opening.h"

#include <vector>

#include "platform/posix/base/error_line.h"
#include "platform/posix/base/sha256.h"
#include "platform/posix/base/trace_line.h"
#include "platform/posix/parser/state_trace.h"
#include "platform/posix/sources/cabinet_member.h"
#include "platform/posix/sources/creg_file_source.h"
#include "platform/posix/sources/regf_hive_source.h"

namespace {

// No transaction log is replayed into a SYSTEM.DAT or an export.
const std::vector<std::string> NoLogsReplayed;

// The file as stored (size and SHA-256; null where it could not be opened or
// read) and the logs replayed into what was read.
void TraceDigest(const char *name, const std::string &file, const FileDigest &digest,
                 const std::vector<std::string> &replayed)
{
    TraceLine line("registry");
    line.Text("name", name).Text("file", file);
    if (digest.read)
        line.Number("size", static_cast<long long>(digest.size)).Text("sha256", digest.sha256);
    else
        line.Null("size").Null("sha256");
    line.List("replayed", replayed).Write();
}

// A hive is read by position through the descriptor the digest is read from.
FileDigest DigestOf(const RegistryFile &file)
{
    FileDigest digest;
    digest.read = file.Open() && Sha256OfFile(*file.bytes, digest.sha256);
    digest.size = file.Open() ? file.bytes->Size() : 0;
    return digest;
}

RegistrySource *OpenFileSource(const Installation &found, const FileDigest digests[2],
                               std::vector<HiveFileFacts> &hives, std::string &problem)
{
    RegistrySource *source = nullptr;
    Fault fault = {"", found.registry.unopened}; // the registry file's, which the line names
    switch (found.kind) {
    case InstallationKind::WindowsNt:
        // Each hive has its line where it is refused; the other still answers.
        source = OpenRegfHiveSource(found.registry, found.systemLogs, found.software, found.softwareLogs, hives);
        if (Tracing()) {
            TraceDigest("SYSTEM", found.registry.name, digests[0],
                        hives.size() > 0 ? hives[0].replayed : NoLogsReplayed);
            TraceDigest("SOFTWARE", found.software.name, digests[1],
                        hives.size() > 1 ? hives[1].replayed : NoLogsReplayed);
        }
        break;
    case InstallationKind::Windows9x:
        source = found.registry.Open() ? OpenCregFileSource(*found.registry.bytes, fault) : nullptr;
        if (Tracing())
            TraceDigest("SYSTEM.DAT", found.registry.name, digests[0], NoLogsReplayed);
        if (source == nullptr)
            problem = EmptyRegistryLine(found.registry.name, FaultText(fault));
        break;
    case InstallationKind::EmulationRoot:
    case InstallationKind::None:
        break;
    }
    return source;
}

} // namespace

void OpenRegistryOf(const Installation &found, OpenedRegistry &opened)
{
    if (found.kind == InstallationKind::EmulationRoot) {
        FileDigest digest;
        LoadRegExportFile(found.registry.name.c_str(), opened.exported, Tracing() ? &digest : nullptr);
        if (Tracing())
            TraceDigest("HKLM.reg", found.registry.name, digest, NoLogsReplayed);
        opened.source = &opened.exportSource;
        return;
    }
    // A state ScanReg kept is SYSTEM.DAT inside a cabinet.
    const Installation *reading = &found;
    Installation member;
    if (!found.state.member.empty()) {
        member = found;
        member.registry = CabinetMemberFile(found.registry, found.state.member);
        reading = &member;
    }
    if (!found.state.note.empty())
        PrintErrorLine(found.state.note);
    // Each file is hashed once, for the state's event and its own.
    FileDigest digests[2];
    if (Tracing()) {
        digests[0] = DigestOf(reading->registry);
        if (reading->kind == InstallationKind::WindowsNt)
            digests[1] = DigestOf(reading->software);
    }
    TraceState(*reading, digests);
    std::string problem = found.problem;
    opened.owned = OpenFileSource(*reading, digests, opened.hives, problem);
    if (opened.owned != nullptr) {
        opened.source = opened.owned;
        return;
    }
    if (!problem.empty())
        PrintErrorLine(problem);
    LoadRegExport(std::string(), opened.exported);
    opened.source = &opened.exportSource;
}

void CloseOpenedRegistry(OpenedRegistry &opened)
{
    delete opened.owned;
    opened.owned = nullptr;
    opened.source = nullptr;
    opened.hives.clear();
    LoadRegExport(std::string(), opened.exported);
}
