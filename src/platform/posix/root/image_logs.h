// The transaction logs of an installation found in an image travel as its
// hives do: memory files made before the fork, filled by the child, named in
// its record.
#pragma once

#include <string>

#include "platform/posix/image/image_tree.h"
#include "platform/posix/root/installation.h"
#include "platform/posix/root/installation_lookup.h"

struct ImageLogAnswer {
    char name[1024];
    char skipped[256]; // "" when copied
};

struct ImageLogRecord {
    int count[2]; // SYSTEM's, SOFTWARE's
    ImageLogAnswer logs[2][kRegistryLogsPerHive];
};

struct ImageLogFiles {
    int fds[2][kRegistryLogsPerHive];
};

// False (none left open) when the memory files cannot be made.
bool MakeImageLogFiles(ImageLogFiles &files);
void CloseImageLogFiles(ImageLogFiles &files);

// In the child: copies the chosen installation's logs, each bounded in size.
void CopyImageLogs(const ImageTree &tree, const std::string &root, const Candidate &one, const ImageLogFiles &files,
                   ImageLogRecord &record);

// In the parent: the logs the record names go to `found`, their memory files
// with them; the rest are closed.
void TakeImageLogs(ImageLogFiles &files, ImageLogRecord &record, Installation &found);
