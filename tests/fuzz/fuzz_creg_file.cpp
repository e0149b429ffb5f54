// Any bytes as a SYSTEM.DAT: opening must fail with a problem or give a
// source whose lookups neither crash, hang nor read out of bounds.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/posix/sources/creg_file_source.h"

// libcreg 20200725 drops the last entry record of a data block whose entry
// runs past the block's end; the program keeps its file open for good, so
// only this harness would notice.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libcreg_data_block_entry_initialize\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static std::string path;
    if (path.empty()) {
        char pattern[] = "/dev/shm/dorovivi-fuzz-creg-XXXXXX";
        int fd = mkstemp(pattern);
        if (fd < 0)
            abort();
        close(fd);
        path = pattern;
    }
    int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size))
        abort();
    close(fd);

    Fault fault;
    std::unique_ptr<FileBytes> file = OpenHostFileBytes(path, fault);
    RegistrySource *source = file == nullptr ? nullptr : OpenCregFileSource(*file, fault);
    if (source == nullptr) {
        if (fault.words.empty())
            abort();
        return 0;
    }
    const char *keys[] = {"", "A", "A\\B", "A\\C", "Enum\\PCMCIA\\MORVAL_TECHNOLOGIES-TESSARO/IEEE-A7E2\\0",
                          "System\\CurrentControlSet\\Services\\Class\\Net\\0000",
                          "System\\CurrentControlSet\\Services\\Class\\Net\\0001",
                          "Software\\KALVORA\\KALVORA PXM", "Software\\Microsoft\\Windows\\CurrentVersion"};
    const char *names[] = {"", "V", "Driver", "VendorDescription", "version", "VersionNumber"};
    for (const char *key : keys) {
        source->KeyExists(key);
        for (const char *name : names) {
            DWORD type = 0;
            std::string value;
            source->FindValue(key, name, type, value);
        }
    }
    delete source;
    return 0;
}
