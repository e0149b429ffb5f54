#include "platform/posix/image/qcow_image.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

const unsigned SectorSize = 512;

std::uint64_t ReadBigEndian(const unsigned char *bytes, int count)
{
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

// A qcow2 image as libtsk sees an image: its own read through libqcow.
struct QcowImage {
    TSK_IMG_INFO info; // first, as libtsk hands it back to the callbacks
    const QcowFunctions *qcow;
    libqcow_file_t *file;
};

ssize_t QcowRead(TSK_IMG_INFO *image, TSK_OFF_T offset, char *buffer, std::size_t size)
{
    QcowImage *qcow = reinterpret_cast<QcowImage *>(image);
    return qcow->qcow->file_read_buffer_at_offset(qcow->file, buffer, size, offset, nullptr);
}

// The image lives as long as the process that reads it.
void QcowClose(TSK_IMG_INFO *)
{
}

void QcowStat(TSK_IMG_INFO *, FILE *)
{
}

// libqcow reads what a cut-off file still holds and nothing tells of the
// rest: a table entry pointing past the end of the file says it was cut.
bool QcowCutShort(int fd, std::uint64_t fileSize)
{
    unsigned char header[72];
    if (pread(fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header))
        return true;
    std::uint64_t clusterBits = ReadBigEndian(header + 20, 4);
    std::uint64_t l1Size = ReadBigEndian(header + 36, 4), l1Offset = ReadBigEndian(header + 40, 8);
    std::uint64_t refcountOffset = ReadBigEndian(header + 48, 8), refcountClusters = ReadBigEndian(header + 56, 4);
    if (clusterBits < 9 || clusterBits > 21 || l1Size > fileSize / 8 || l1Offset > fileSize - l1Size * 8 ||
        refcountClusters > fileSize >> clusterBits || refcountOffset > fileSize - (refcountClusters << clusterBits))
        return true;
    const std::uint64_t clusterSize = 1ULL << clusterBits;
    const std::uint64_t offsetMask = 0x00fffffffffffe00ULL;
    std::vector<unsigned char> l1(l1Size * 8), l2(clusterSize);
    if (l1Size != 0 && pread(fd, l1.data(), l1.size(), static_cast<off_t>(l1Offset)) != static_cast<ssize_t>(l1.size()))
        return true;
    for (std::uint64_t i = 0; i < l1Size; ++i) {
        std::uint64_t table = ReadBigEndian(&l1[i * 8], 8) & offsetMask;
        if (table == 0)
            continue;
        if (table > fileSize - clusterSize ||
            pread(fd, l2.data(), l2.size(), static_cast<off_t>(table)) != static_cast<ssize_t>(l2.size()))
            return true;
        for (std::uint64_t j = 0; j < clusterSize; j += 8) {
            std::uint64_t entry = ReadBigEndian(&l2[j], 8);
            bool compressed = (entry >> 62 & 1) != 0;
            std::uint64_t data = compressed ? entry & ((1ULL << (62 - (clusterBits - 8))) - 1) : entry & offsetMask;
            if (data != 0 && data >= fileSize)
                return true;
            if (!compressed && data != 0 && data > fileSize - clusterSize)
                return true;
        }
    }
    return false;
}

} // namespace

bool OpenQcowImage(const TskFunctions *tsk, const std::string &path, int fd, const unsigned char *header,
                   TSK_IMG_INFO *&image, std::string &problem)
{
    if (ReadBigEndian(header + 8, 8) != 0) {
        problem = "qcow2 image with a backing file, which is not read";
        return false;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || QcowCutShort(fd, static_cast<std::uint64_t>(info.st_size))) {
        problem = "qcow2 image cut short or damaged (its tables point past the end of the file)";
        return false;
    }
    const QcowFunctions *qcow = QcowLibrary(problem);
    if (qcow == nullptr)
        return false;
    QcowImage *opened = static_cast<QcowImage *>(std::calloc(1, sizeof(QcowImage)));
    size64_t size = 0;
    if (opened == nullptr || qcow->file_initialize(&opened->file, nullptr) != 1 ||
        qcow->file_open(opened->file, path.c_str(), LIBQCOW_OPEN_READ, nullptr) != 1 ||
        qcow->file_get_media_size(opened->file, &size, nullptr) != 1) {
        problem = "damaged qcow2 image";
        return false;
    }
    opened->qcow = qcow;
    image = tsk->img_open_external(opened, static_cast<TSK_OFF_T>(size), SectorSize, QcowRead, QcowClose, QcowStat);
    if (image == nullptr) {
        problem = "qcow2 image not readable (" + TakeTskError(tsk) + ")";
        return false;
    }
    return true;
}
