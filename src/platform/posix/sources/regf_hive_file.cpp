#include "platform/posix/sources/regf_hive_file.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/text_compare.h"
#include "platform/posix/base/text_encoding.h"
#include "platform/posix/sources/regf/regf_base_block.h"
#include "platform/posix/sources/regf/regf_hive_check.h"

namespace {

// Why hivex refused the file: the first fault in its bins, the shortfall
// when the fault is where the file ends, else the plain kind of failure.
std::string WhyRefused(int fd, std::uint64_t size, int error, const std::string &shortfall)
{
    if (error == ENOMEM)
        return "not enough memory to read the hive";
    void *map = size == 0 ? MAP_FAILED : mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    std::string fault;
    bool pastEnd = false;
    if (map != MAP_FAILED) {
        fault = RegfHiveBinsFault(static_cast<const unsigned char *>(map), size, pastEnd);
        munmap(map, size);
    }
    if (pastEnd && !shortfall.empty())
        return shortfall;
    return fault.empty() ? "hivex cannot read it, though its base block and bins look sound" : fault;
}

} // namespace

std::string RegfFileFault(int fd)
{
    unsigned char head[kRegfBaseBlockSize];
    std::size_t headSize = 0;
    struct stat info;
    if (fstat(fd, &info) != 0 || !ReadUpToAt(fd, head, sizeof head, 0, headSize))
        return std::string("cannot be read (") + std::strerror(errno) + ")";
    std::uint64_t size = static_cast<std::uint64_t>(info.st_size);
    std::string fault = RegfBaseBlockFault(head, headSize, size);
    if (!fault.empty())
        return fault;
    void *map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED)
        return std::string("cannot be read (") + std::strerror(errno) + ")";
    bool pastEnd = false;
    fault = RegfHiveBinsFault(static_cast<const unsigned char *>(map), size, pastEnd);
    munmap(map, size);
    return fault;
}

// hivex maps the file it opens by name; the descriptor's own name reaches
// the same bytes, also where they live only in memory. The base block is
// checked first, so that a refusal names its cause.
bool OpenRegfHive(const HivexFunctions *hivex, int fd, const char *name, RegfHive &hive, std::string &problem)
{
    hive.path = name;
    // A FIFO or device would block or never end.
    if (fd < 0 || !IsRegularFile(fd)) {
        problem = "not a regular file";
        if (fd >= 0)
            close(fd);
        return false;
    }
    unsigned char head[kRegfBaseBlockSize];
    std::size_t headSize = 0;
    struct stat info;
    if (fstat(fd, &info) != 0 || !ReadUpToAt(fd, head, sizeof head, 0, headSize)) {
        problem = std::string("cannot be read (") + std::strerror(errno) + ")";
        close(fd);
        return false;
    }
    std::uint64_t size = static_cast<std::uint64_t>(info.st_size);
    hive.shortfall = RegfHiveShortfall(head, headSize, size);
    problem = RegfBaseBlockFault(head, headSize, size);
    if (problem.empty()) {
        hive.handle = hivex->open(DescriptorPath(fd).c_str(), 0);
        if (hive.handle == nullptr)
            problem = WhyRefused(fd, size, errno, hive.shortfall);
    }
    close(fd);
    return hive.handle != nullptr;
}

void DecodeRegfValue(DWORD type, std::string &raw, std::string &data)
{
    if (!IsStringType(type)) {
        data.swap(raw);
        return;
    }
    data.clear();
    AppendUtf16LeAsUtf8(reinterpret_cast<const unsigned char *>(raw.data()), raw.size(), data);
    EndStringAsAFunctionDoes(type, data);
}

bool RegfNodeLastWrite(const HivexFunctions *hivex, const RegfKeyPlace &key, std::uint64_t &filetime)
{
    std::int64_t stamp = key.node == 0 ? -1 : hivex->node_timestamp(key.hive->handle, key.node);
    filetime = static_cast<std::uint64_t>(stamp);
    return stamp >= 0;
}

bool RegfNodeName(const HivexFunctions *hivex, hive_h *handle, hive_node_h node, std::string &name)
{
    char *text = hivex->node_name(handle, node);
    if (text == nullptr)
        return false;
    // Both calls decode the same stored name, so the buffer holds that many
    // bytes and a NUL of its own; a length short of the first NUL is not believed.
    std::size_t length = hivex->node_name_len(handle, node);
    name.assign(text, std::max(length, std::strlen(text)));
    std::free(text);
    return true;
}

bool ListRegfChildren(const HivexFunctions *hivex, hive_h *handle, hive_node_h node, RegfChildList &list,
                      bool &unnamed)
{
    hive_node_h *children = hivex->node_children(handle, node);
    if (children == nullptr)
        return false;
    list.readable = true;
    for (std::size_t i = 0; children[i] != 0; ++i) {
        char *name = hivex->node_name(handle, children[i]);
        unnamed = unnamed || name == nullptr;
        if (name != nullptr)
            list.children.push_back({name, children[i], -1});
        std::free(name);
    }
    std::free(children);
    return true;
}
