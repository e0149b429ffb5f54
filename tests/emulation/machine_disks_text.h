// A machine's disks as one line, for the configuration tables to compare.
#pragma once

#include <cstring>
#include <memory>
#include <string>

#include "platform/posix/machine/machine_config.h"

// "slot=file" for a disk followed, "slot!recorded" for one that is not (with
// "[format]" after the slot where one is recorded), a
// '*' for an independent one, then its recorded parents after '<'; or
// "!fault" when the configuration is refused.
inline std::string Disks(const std::string &bytes, const std::string &snapshot, MachineFormat &format,
                  const char *storage = nullptr)
{
    MachineConfig config = {bytes.data(), bytes.size(), "/vm", storage, storage ? std::strlen(storage) : 0,
                            "/etc/pve/storage.cfg"};
    auto disks = std::make_unique<MachineDisks>();
    Fault fault;
    bool read = ReadMachineDisks(config, snapshot, *disks, fault);
    format = disks->format;
    if (!read)
        return "!" + FaultText(fault);
    std::string text;
    for (int i = 0; i < disks->count; ++i) {
        const MachineDisk &d = disks->disk[i];
        text += (i ? ";" : "") + d.slot + (d.format.empty() ? "" : "[" + d.format + "]");
        text += d.fault.words.empty() ? "=" + d.file : "!" + d.recorded;
        text += d.independent ? "*" : "";
        for (int p = 0; p < d.parentCount; ++p)
            text += "<" + d.parents[p];
    }
    return text;
}
