#include "platform/posix/image/qcow_inflate.h"

#include <zlib.h>

#include "platform/posix/base/library_loading.h"

namespace {

const char ZlibSoname[] = "libz.so.1";
// qemu deflates each cluster alone, raw, with a window of 4 KiB.
const int QcowDeflateWindowBits = -12;

#define ZLIB_FUNCTIONS(F) \
    F(inflate_init, inflateInit2_) \
    F(inflate_run, inflate) \
    F(inflate_end, inflateEnd)
struct ZlibFunctions {
    ZLIB_FUNCTIONS(DECLARE_READER_FUNCTION)
};

ZlibFunctions Zlib;
bool ZlibLoaded = false;

} // namespace

bool InflateQcowCluster(const unsigned char *packed, std::size_t packedSize, unsigned char *cluster,
                        std::size_t clusterSize, Fault &fault)
{
    const ZlibFunctions *zlib = LoadReaderLibrary(
        ZlibSoname, Zlib, ZlibLoaded, fault,
        [](void *library, auto &functions) { return ZLIB_FUNCTIONS(BIND_READER_FUNCTION) true; });
    if (zlib == nullptr)
        return false;
    z_stream stream = {};
    stream.next_in = const_cast<unsigned char *>(packed);
    stream.avail_in = static_cast<uInt>(packedSize);
    stream.next_out = cluster;
    stream.avail_out = static_cast<uInt>(clusterSize);
    if (zlib->inflate_init(&stream, QcowDeflateWindowBits, ZLIB_VERSION, static_cast<int>(sizeof stream)) != Z_OK) {
        fault = {"", "zlib does not start"};
        return false;
    }
    // The packed run is rounded up to whole sectors, so the stream may end
    // before the input does; the cluster must come out whole.
    int result = zlib->inflate_run(&stream, Z_FINISH);
    zlib->inflate_end(&stream);
    if ((result != Z_STREAM_END && result != Z_OK && result != Z_BUF_ERROR) || stream.avail_out != 0) {
        fault = {"", "qcow2 image with a damaged compressed cluster"};
        return false;
    }
    return true;
}
