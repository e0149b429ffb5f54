#include "platform/posix/sources/regf_hive_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/text_compare.h"
#include "platform/posix/base/text_encoding.h"

// hivex maps the file it opens by name; the descriptor's own name reaches
// the same bytes, also where they live only in memory.
bool OpenRegfHive(const HivexFunctions *hivex, int fd, const char *name, RegfHive &hive, std::string &problem)
{
    hive.path = name;
    // A FIFO or device would block or never end.
    if (fd < 0 || !IsRegularFile(fd)) {
        problem = hive.path + ": not a regular file";
        if (fd >= 0)
            close(fd);
        return false;
    }
    hive.handle = hivex->open(DescriptorPath(fd).c_str(), 0);
    int error = errno;
    close(fd);
    if (hive.handle == nullptr) {
        problem = hive.path + ": not a readable registry hive (" + std::strerror(error) + ")";
        return false;
    }
    return true;
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
