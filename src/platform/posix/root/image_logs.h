// The files an installation found in an image hands over: its hives and the
// transaction logs beside them, which the image child opens, names in its
// record and keeps open to serve by number.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/posix/base/fault.h"
#include "platform/posix/image/image_tree.h"
#include "platform/posix/root/image_file_bytes.h"
#include "platform/posix/root/installation.h"
#include "platform/posix/root/installation_lookup.h"
#include "platform/posix/sandbox/record_text.h"

// By number: the registry file (SYSTEM or SYSTEM.DAT), SOFTWARE, then up to
// kRegistryLogsPerHive logs of each hive.
constexpr std::uint32_t kImageRegistryFile = 0;
constexpr std::uint32_t kImageSoftwareHive = 1;
constexpr std::uint32_t kImageFirstLog = 2;
constexpr std::uint32_t kImageFiles = kImageFirstLog + 2 * kRegistryLogsPerHive;

struct ImageFileAnswer {
    RecordText<1024> name;
    std::uint64_t size;
    RecordText<256> unopened; // "" when open
};

struct ImageFileRecord {
    int logCount[2]; // SYSTEM's, SOFTWARE's
    ImageFileAnswer files[kImageFiles];
};

// In the child: what it serves from.
struct ImageOpenFiles {
    const ImageTree *tree = nullptr;
    TSK_FS_FILE *files[kImageFiles] = {};
};

// In the child: opens `path` as file `number`; false with `fault`, which
// names the file as the image holds it.
bool OpenImageFile(const ImageTree &tree, const std::string &root, const std::string &path, std::uint32_t number,
                   ImageOpenFiles &open, ImageFileRecord &record, Fault &fault);

// In the child: opens the chosen installation's logs; one that cannot be
// opened is named with why.
void OpenImageLogs(const ImageTree &tree, const std::string &root, const Candidate &one, ImageOpenFiles &open,
                   ImageFileRecord &record);

// In the child, for each request: `context` is the ImageOpenFiles.
void ServeImageFile(void *context, const ServerRequest &request, ServerReplyHeader &reply, void *payload);

// In the parent: file `number` as the record names it, read through `server`.
RegistryFile TakeImageFile(const std::shared_ptr<ImageServer> &server, ImageFileRecord &record, std::uint32_t number);

// In the parent: the logs the record names go to `found`.
void TakeImageLogs(const std::shared_ptr<ImageServer> &server, ImageFileRecord &record, Installation &found);
