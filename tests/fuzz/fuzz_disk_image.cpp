// Any bytes as a disk image: the lookup, run in its guarded child, must end
// with a chosen installation whose files are open and served, or with one
// line naming the image; the fuzzing process itself never crashes or hangs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/root/image_root.h"

namespace {

std::string ImageFile;

std::string Comm(const std::string &pid)
{
    std::string name;
    std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
    return name;
}

// Whether a copy of this process, the image child, running or a zombie, is
// among its children; the sanitizer's own helpers are not.
bool ImageChildLeft()
{
    std::ifstream children("/proc/self/task/" + std::to_string(getpid()) + "/children");
    for (std::string pid; children >> pid;)
        if (Comm(pid) == Comm("self"))
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    char pattern[] = "/dev/shm/dorovivi-fuzz-image-XXXXXX";
    const char *dir = mkdtemp(pattern);
    if (dir == nullptr)
        std::abort();
    ImageFile = std::string(dir) + "/disk.img";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::FILE *file = std::fopen(ImageFile.c_str(), "wb");
    if (file == nullptr)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    {
        Installation found = FindInDiskImage(ImageFile, "");
        bool chosen = found.kind == InstallationKind::Windows9x || found.kind == InstallationKind::WindowsNt;
        if (chosen != found.problem.empty() || found.problem.find('\n') != std::string::npos)
            std::abort();
        if (chosen && (!found.registry.Open() || (found.kind == InstallationKind::WindowsNt) != found.software.Open()))
            std::abort();
        if (!chosen && found.problem.compare(0, ImageFile.size(), ImageFile) != 0)
            std::abort();
        // The child serves what it found: a read either side of a page's end.
        char bytes[8];
        if (found.registry.Open() && found.registry.bytes->Size() >= 4100)
            found.registry.bytes->ReadAt(4092, bytes, sizeof bytes);
    }
    // The child goes with the last of its files.
    if (ImageChildLeft())
        std::abort();
    return 0;
}
