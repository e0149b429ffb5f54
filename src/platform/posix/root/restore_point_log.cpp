#include "platform/posix/root/restore_point_log.h"

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/text_encoding.h"

bool ReadRestorePointLog(const unsigned char *bytes, std::size_t size, RestorePointLog &log, Fault &fault)
{
    if (size < kRpLogLeast || size > kRpLogLargest) {
        fault.words = "rp.log of " + std::to_string(size) + " bytes, not " + std::to_string(kRpLogLeast) + " to " +
                      std::to_string(kRpLogLargest);
        return false;
    }
    std::size_t timeAt = size - kRpLogCreationTimeSize;
    std::size_t room = timeAt - kRpLogDescriptionAt;
    if (room > kRpLogDescriptionSize)
        room = kRpLogDescriptionSize;
    std::size_t end = 0;
    while (end + 1 < room && (bytes[kRpLogDescriptionAt + end] != 0 || bytes[kRpLogDescriptionAt + end + 1] != 0))
        end += 2;
    if (end + 1 >= room) {
        fault.words = "rp.log's description is not ended within its " + std::to_string(room) + " bytes";
        return false;
    }
    log.pointType = ReadLe32(bytes + kRpLogPointTypeAt);
    log.description = Utf16LeNameAsUtf8(bytes + kRpLogDescriptionAt, end);
    log.created = ReadLe64(bytes + timeAt);
    if (log.created == 0) {
        fault.words = "rp.log records no creation time";
        return false;
    }
    return true;
}
