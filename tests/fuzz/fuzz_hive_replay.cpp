// A primary and two logs from one input, replayed: the plan must stay inside
// its buffers and end, the memory file must match it, and the hive it gives
// must read like any other.
//
// Input: primary size and first log size (32-bit little-endian each), the
// primary, the first log, and the rest as the second log.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/sources/regf/hive_replay.h"
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
    int primary = memfd_create("fuzz-primary", MFD_CLOEXEC);
    if (primary < 0 || write(primary, rest, primarySize) != static_cast<ssize_t>(primarySize))
        std::abort();
    std::string problem;
    int fd = MaterialiseHiveReplay(primary, replay, problem);
    close(primary);
    if (fd < 0)
        std::abort();
    unsigned char head[4096];
    if (lseek(fd, 0, SEEK_END) != static_cast<off_t>(replay.hiveSize) ||
        pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head) ||
        std::memcmp(head, replay.baseBlock, sizeof head) != 0)
        std::abort();
    RegistrySource *source = OpenRegfHiveSource(fd, "SYSTEM", dup(fd), "SOFTWARE", problem);
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
