#include "platform/posix/root/image_logs.h"

#include <cerrno>
#include <cstdio>

bool OpenImageFile(const ImageTree &tree, const std::string &root, const std::string &path, std::uint32_t number,
                   ImageOpenFiles &open, ImageFileRecord &record, Fault &fault)
{
    ImageFileAnswer &answer = record.files[number];
    answer.name.Put(root + ": " + tree.Describe(path));
    open.tree = &tree;
    open.files[number] = tree.Open(path, fault);
    fault.file = tree.Describe(path);
    if (open.files[number] == nullptr) {
        answer.unopened.Put(fault.words);
        return false;
    }
    answer.size = static_cast<std::uint64_t>(open.files[number]->meta->size);
    return true;
}

void OpenImageLogs(const ImageTree &tree, const std::string &root, const Candidate &one, ImageOpenFiles &open,
                   ImageFileRecord &record)
{
    const std::vector<std::string> *lists[2] = {&one.systemLogs, &one.softwareLogs};
    for (int hive = 0; hive < 2; ++hive) {
        record.logCount[hive] = 0;
        for (const std::string &path : *lists[hive]) {
            if (record.logCount[hive] == static_cast<int>(kRegistryLogsPerHive))
                break;
            std::uint32_t number = kImageFirstLog + hive * kRegistryLogsPerHive + record.logCount[hive];
            Fault fault;
            OpenImageFile(tree, root, path, number, open, record, fault);
            ++record.logCount[hive];
        }
    }
}

void ServeImageFile(void *context, const ServerRequest &request, ServerReplyHeader &reply, void *payload)
{
    const ImageOpenFiles &open = *static_cast<const ImageOpenFiles *>(context);
    if (request.file >= kImageFiles || open.files[request.file] == nullptr) {
        reply.error = EBADF;
        return;
    }
    long long got = open.tree->ReadAt(open.files[request.file], request.offset, payload, request.size);
    if (got < 0)
        reply.error = EIO;
    else
        reply.got = static_cast<std::uint32_t>(got);
}

RegistryFile TakeImageFile(const std::shared_ptr<ImageServer> &server, ImageFileRecord &record, std::uint32_t number)
{
    ImageFileAnswer &answer = record.files[number];
    RegistryFile file;
    file.name = answer.name.Take();
    file.unopened = answer.unopened.Take();
    if (file.unopened.empty())
        file.bytes = std::make_shared<ImageFileBytes>(server, number, answer.size);
    return file;
}

void TakeImageLogs(const std::shared_ptr<ImageServer> &server, ImageFileRecord &record, Installation &found)
{
    std::vector<RegistryFile> *lists[2] = {&found.systemLogs, &found.softwareLogs};
    for (int hive = 0; hive < 2; ++hive) {
        for (int i = 0; i < record.logCount[hive] && i < static_cast<int>(kRegistryLogsPerHive); ++i)
            lists[hive]->push_back(TakeImageFile(server, record, kImageFirstLog + hive * kRegistryLogsPerHive + i));
    }
}
