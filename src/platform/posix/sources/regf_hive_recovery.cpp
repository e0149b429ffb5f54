#include "platform/posix/sources/regf_hive_recovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/text_compare.h"
#include "platform/posix/sources/regf/hive_replay.h"
#include "platform/posix/sources/regf_hive_file.h"

namespace {

// The last part of a name as messages give it, a path on a drive or
// "image: partition(1)\WINNT\system32\config\SYSTEM.LOG1" in an image.
std::string FileName(const std::string &name)
{
    std::size_t cut = name.find_last_of("/\\");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

// The whole log, bounded; false with `problem` when it cannot be had.
bool ReadLog(const RegistryLog &log, std::string &bytes, std::string &problem)
{
    if (!log.skipped.empty()) {
        problem = log.skipped;
        return false;
    }
    int fd = log.fd >= 0 ? log.fd : open(log.name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info;
    bool read = false;
    if (fd < 0 || fstat(fd, &info) != 0) {
        problem = std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        problem = "not a regular file";
    } else if (static_cast<std::uint64_t>(info.st_size) > kRegistryLogLargest) {
        problem = "larger than " + std::to_string(kRegistryLogLargest >> 20) + " MiB";
    } else {
        bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t got = 0;
        read = ReadUpToAt(fd, &bytes[0], bytes.size(), 0, got);
        bytes.resize(got);
        if (!read)
            problem = std::strerror(errno);
    }
    if (fd >= 0 && log.fd < 0)
        close(fd);
    return read;
}

std::string Listed(const std::vector<std::string> &names)
{
    std::string text;
    for (const std::string &name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

} // namespace

int RecoverRegfHive(int fd, const std::string &name, const std::vector<RegistryLog> *given, HiveFileFacts &facts,
                    std::string &note)
{
    facts.file = name;
    facts.replayed.clear();
    note.clear();
    unsigned char head[kRegfBaseBlockSize];
    std::size_t headSize = 0;
    struct stat info;
    RegfBaseBlock base;
    // What is no hive at all is for the open to name, not a dirty hive.
    if (fd < 0 || !IsRegularFile(fd) || fstat(fd, &info) != 0 || !ReadUpToAt(fd, head, sizeof head, 0, headSize) ||
        !ReadRegfBaseBlock(head, headSize, base) || !base.signatureValid || !RegfHiveDirty(base))
        return -1;
    const std::vector<RegistryLog> none;
    const std::vector<RegistryLog> &logs = given != nullptr ? *given : none;
    std::vector<std::string> bytes(logs.size());
    std::vector<HiveLogFile> files;
    std::vector<std::string> skipped;
    for (std::size_t i = 0; i < logs.size() && files.size() < kHiveReplayLargestLogCount; ++i) {
        std::string problem;
        if (!ReadLog(logs[i], bytes[i], problem)) {
            skipped.push_back(FileName(logs[i].name) + " not read: " + problem);
            continue;
        }
        HiveLogFile file;
        file.name = FileName(logs[i].name);
        file.bytes = reinterpret_cast<const unsigned char *>(bytes[i].data());
        file.size = bytes[i].size();
        files.push_back(file);
    }
    HiveReplay replay;
    PlanHiveReplay(head, headSize, static_cast<std::uint64_t>(info.st_size), files.data(), files.size(), replay);
    std::string why = replay.reason;
    if (logs.empty())
        why = "no transaction log beside it";
    int replayed = -1;
    if (replay.replayed) {
        replayed = MaterialiseHiveReplay(fd, replay, why);
        if (replayed >= 0) {
            facts.replayed = replay.logsApplied;
            note = "dirty hive; replayed " + Listed(replay.logsApplied);
            if (!replay.reason.empty())
                skipped.insert(skipped.begin(), "stopped short: " + replay.reason);
            // What comes out is checked as a primary is before hivex sees it.
            std::string fault = RegfFileFault(replayed);
            if (!fault.empty()) {
                close(replayed);
                RegfReplayMisfit(fault, facts, note);
                return -1;
            }
        }
    }
    if (replayed < 0)
        note = "dirty hive, not replayed (" + why + ")";
    if (!skipped.empty())
        note += replayed >= 0 ? " (" + Listed(skipped) + ")" : "; " + Listed(skipped);
    return replayed;
}

void RegfReplayMisfit(const std::string &fault, HiveFileFacts &facts, std::string &note)
{
    bool one = facts.replayed.size() == 1;
    note = std::string("dirty hive, not replayed: its ") + (one ? "log " : "logs ") + Listed(facts.replayed) +
           (one ? " does" : " do") + " not fit it (replayed, " + fault + ")";
    facts.replayed.clear();
}
