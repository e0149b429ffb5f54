#include "platform/posix/root/image_logs.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>

bool MakeImageLogFiles(ImageLogFiles &files)
{
    bool made = true;
    for (auto &hive : files.fds) {
        for (int &fd : hive) {
            fd = memfd_create("dorovivi-log", MFD_CLOEXEC);
            made = made && fd >= 0;
        }
    }
    if (!made)
        CloseImageLogFiles(files);
    return made;
}

void CloseImageLogFiles(ImageLogFiles &files)
{
    for (auto &hive : files.fds) {
        for (int &fd : hive) {
            if (fd >= 0)
                close(fd);
            fd = -1;
        }
    }
}

void CopyImageLogs(const ImageTree &tree, const std::string &root, const Candidate &one, const ImageLogFiles &files,
                   ImageLogRecord &record)
{
    const std::vector<std::string> *lists[2] = {&one.systemLogs, &one.softwareLogs};
    for (int hive = 0; hive < 2; ++hive) {
        record.count[hive] = 0;
        for (const std::string &path : *lists[hive]) {
            if (record.count[hive] == static_cast<int>(kRegistryLogsPerHive))
                break;
            ImageLogAnswer &answer = record.logs[hive][record.count[hive]];
            std::snprintf(answer.name, sizeof answer.name, "%s: %s", root.c_str(), tree.Describe(path).c_str());
            std::string problem;
            bool copied = tree.CopyTo(path, files.fds[hive][record.count[hive]], problem, 64ull << 20);
            std::snprintf(answer.skipped, sizeof answer.skipped, "%s", copied ? "" : problem.c_str());
            ++record.count[hive];
        }
    }
}

void TakeImageLogs(ImageLogFiles &files, ImageLogRecord &record, Installation &found)
{
    std::vector<RegistryFile> *lists[2] = {&found.systemLogs, &found.softwareLogs};
    for (int hive = 0; hive < 2; ++hive) {
        int count = record.count[hive];
        for (int i = 0; i < count && i < static_cast<int>(kRegistryLogsPerHive); ++i) {
            ImageLogAnswer &answer = record.logs[hive][i];
            answer.name[sizeof answer.name - 1] = '\0';
            answer.skipped[sizeof answer.skipped - 1] = '\0';
            RegistryFile log;
            log.name = answer.name;
            log.unopened = answer.skipped;
            if (log.unopened.empty()) {
                log.bytes = TakeFileBytes(files.fds[hive][i], log.unopened);
                files.fds[hive][i] = -1;
            }
            lists[hive]->push_back(log);
        }
    }
    CloseImageLogFiles(files);
}
