// A primary and two logs from one input, replayed: the plan must stay inside
// its buffers and end, the overlay must read as the plan says, and the hive
// it gives must read like any other, also where the logs do not fit it.
//
// Input: primary size and first log size (32-bit little-endian each), the
// primary, the first log, and the rest as the second log.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/sources/regf/hive_replay.h"
#include "platform/posix/sources/regf/regf_hive_bytes.h"
#include "platform/posix/sources/regf_hive_source.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 8)
        return 0;
    std::size_t primarySize = ReadLe32(data), log1Size = ReadLe32(data + 4);
    const unsigned char *rest = data + 8;
    size -= 8;
    primarySize = primarySize < size ? primarySize : size;
    log1Size = log1Size < size - primarySize ? log1Size : size - primarySize;
    HiveLogFile logs[2] = {{"SYSTEM.LOG1", rest + primarySize, log1Size},
                           {"SYSTEM.LOG2", rest + primarySize + log1Size, size - primarySize - log1Size}};
    HiveReplay replay;
    PlanHiveReplay(rest, primarySize < 4096 ? primarySize : 4096, primarySize, logs, 2, replay);
    if (!replay.replayed)
        return 0;
    if (replay.hiveSize > primarySize + size + 8192 + 4096)
        std::abort(); // grown past what the input holds
    MemoryFileBytes primary(rest, primarySize);
    OverlayHiveBytes overlay(primary, primarySize, replay);
    unsigned char head[4096];
    if (overlay.Size() != replay.hiveSize || !overlay.ReadAt(0, head, sizeof head) ||
        std::memcmp(head, replay.baseBlock, sizeof head) != 0)
        std::abort();
    // The same logs through the source, as a drive hands them over.
    RegistryFile system, software;
    system.name = "SYSTEM";
    software.name = "SOFTWARE";
    system.bytes = std::make_shared<MemoryFileBytes>(rest, primarySize);
    software.bytes = system.bytes;
    std::vector<RegistryFile> files(2);
    for (int i = 0; i < 2; ++i) {
        files[i].name = logs[i].name;
        files[i].bytes = std::make_shared<MemoryFileBytes>(logs[i].bytes, logs[i].size);
    }
    std::vector<HiveFileFacts> facts;
    RegistrySource *source = OpenRegfHiveSource(system, files, software, {}, facts);
    if (source == nullptr)
        return 0;
    DWORD type;
    std::string value;
    source->KeyExists("SYSTEM\\Select");
    source->FindValue("SYSTEM\\Select", "Current", type, value);
    source->FindValue("SYSTEM\\ControlSet001\\Services\\Added", "Big", type, value);
    delete source;
    return 0;
}
