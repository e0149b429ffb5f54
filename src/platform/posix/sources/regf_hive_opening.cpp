#include "platform/posix/sources/regf_hive_opening.h"

#include <unistd.h>

#include "platform/posix/sources/regf_hive_kind.h"
#include "platform/posix/sources/regf_hive_recovery.h"

namespace {

void CloseHive(const HivexFunctions *hivex, RegfHive &hive)
{
    if (hive.handle != nullptr)
        hivex->close(hive.handle);
    hive = RegfHive();
}

// The replayed hive `replayed` opened through hivex, as far as its root's
// keys; else the logs are said not to fit and nothing is open.
bool OpenReplayed(const HivexFunctions *hivex, int replayed, const std::string &name, RegfHive &hive,
                  HiveFileFacts &facts, std::string &note)
{
    std::string problem;
    bool listed = false;
    if (OpenRegfHive(hivex, replayed, name.c_str(), hive, problem)) {
        RegfHiveKindProblem(hivex, hive.handle, true, listed);
        if (listed)
            return true;
        problem = "hivex cannot list its root key's subkeys";
    }
    CloseHive(hivex, hive);
    RegfReplayMisfit(problem, facts, note);
    return false;
}

} // namespace

bool OpenNtHive(const HivexFunctions *hivex, int fd, const std::string &name, const std::vector<RegistryLog> *logs,
                bool system, RegfHive &hive, HiveFileFacts &facts, std::vector<std::string> &lines)
{
    std::string note, problem;
    int replayed = RecoverRegfHive(fd, name, logs, facts, note);
    bool opened = replayed >= 0 && OpenReplayed(hivex, replayed, name, hive, facts, note);
    if (opened) {
        if (fd >= 0)
            close(fd);
    } else {
        opened = OpenRegfHive(hivex, fd, name.c_str(), hive, problem);
    }
    bool listed = false;
    std::string kind = opened ? RegfHiveKindProblem(hivex, hive.handle, system, listed) : "";
    // A hive of another kind is refused, as a USER.DAT is as SYSTEM.DAT.
    if (!kind.empty()) {
        problem = (hive.shortfall.empty() ? "" : hive.shortfall + "; ") + kind;
        CloseHive(hivex, hive);
        opened = false;
    }
    // A hive refused gets one line, what was to be said of it folded in.
    if (!opened) {
        lines.push_back(name + ": " + (note.empty() ? "" : note + "; ") + problem + "; read as an empty hive");
        return false;
    }
    if (!note.empty())
        lines.push_back(name + ": " + note + (facts.replayed.empty() ? "; read as it stands" : ""));
    if (!hive.shortfall.empty())
        lines.push_back(name + ": " + hive.shortfall + "; keys past the end read as missing");
    return true;
}
