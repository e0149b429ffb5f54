#include "platform/posix/sources/regf_hive_opening.h"

#include "platform/posix/sources/regf_hive_kind.h"
#include "platform/posix/sources/regf_hive_recovery.h"

bool OpenNtHive(const HivexFunctions *hivex, int fd, const std::string &name, const std::vector<RegistryLog> *logs,
                bool system, RegfHive &hive, HiveFileFacts &facts, std::vector<std::string> &lines,
                std::string &problem)
{
    std::string note;
    fd = RecoverRegfHive(fd, name, logs, facts, note);
    if (!OpenRegfHive(hivex, fd, name.c_str(), hive, problem)) {
        problem = name + ": " + (note.empty() ? "" : note + "; ") + problem;
        return false;
    }
    if (!note.empty())
        lines.push_back(name + ": " + note + (facts.replayed.empty() ? "; read as it stands" : ""));
    if (!hive.shortfall.empty())
        lines.push_back(name + ": " + hive.shortfall + "; keys past the end read as missing");
    std::string kind = RegfHiveKindProblem(hivex, hive.handle, system);
    if (!kind.empty())
        lines.push_back(name + ": " + kind + "; read as it is");
    return true;
}
