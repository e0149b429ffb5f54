// Any bytes as a VDI: the header and block map reader must refuse with one
// line or give a layer whose every block reads within the file; nothing
// else here guards it (it runs inside the image reader's child).
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/posix/image/vdi_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    int fd = memfd_create("dorovivi-fuzz-vdi", MFD_CLOEXEC);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size))
        std::abort();
    VdiLayer layer;
    Fault fault;
    if (ReadVdiLayer(fd, "fuzz.vdi", layer, fault)) {
        std::vector<char> buffer(65536);
        for (std::uint64_t at = 0; at < layer.diskSize && at < (64ULL << 20); at += buffer.size())
            if (ReadVdi(&layer, at, buffer.data(), buffer.size()) < 0)
                std::abort(); // the map was checked against the file: every read must succeed
    } else if (fault.words.empty() || fault.words.find('\n') != std::string::npos) {
        std::abort();
    }
    close(fd);
    return 0;
}
