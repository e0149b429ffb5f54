// Opens the registry source an installation calls for.
#pragma once

#include <vector>

#include "platform/posix/root/installation.h"
#include "platform/posix/sources/hive_file_facts.h"
#include "platform/posix/sources/reg_export.h"
#include "platform/posix/sources/reg_export_source.h"

struct OpenedRegistry {
    RegExport exported; // the export, or the empty registry a failed open falls back to
    RegExportSource exportSource{exported};
    RegistrySource *owned = nullptr; // a hive or SYSTEM.DAT source, allocated
    const RegistrySource *source = nullptr;
    std::vector<HiveFileFacts> hives; // NT: SYSTEM, then SOFTWARE, as far as they were opened
};

// Never fails: what cannot be opened is said on stderr in one line, and the
// empty registry stands in.
void OpenRegistryOf(const Installation &found, OpenedRegistry &opened);
void CloseOpenedRegistry(OpenedRegistry &opened);
