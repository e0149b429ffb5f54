// Any bytes as an NT hive for the cell reader: open, walk every key and
// value, read each class and data, and look names up, in bounds and to an end.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/posix/sources/regf/regf_big_data.h"
#include "platform/posix/sources/regf/regf_hive_walk.h"
#include "platform/posix/sources/regf/regf_subkey_list.h"

namespace {

unsigned char Buffer[1 << 16];

bool VisitKey(void *context, const RegfKey &key, unsigned)
{
    RegfReader &hive = *static_cast<RegfReader *>(context);
    std::size_t size = 0;
    const std::uint16_t ascii[] = {'S', 'e', 'l', 'e', 'c', 't'}, wide[] = {0xC4, 0x43C};
    RegfKey child;
    RegfKeyClass(hive, key, Buffer, sizeof Buffer, size);
    RegfFindSubkey(hive, key, ascii, 6, child);
    RegfFindSubkey(hive, key, wide, 2, child);
    return hive.fault.kind == RegfFaultKind::None;
}

bool VisitValue(void *context, const RegfKey &key, const RegfValue &value)
{
    RegfReader &hive = *static_cast<RegfReader *>(context);
    std::uint16_t name[256];
    std::size_t count = 0, size = 0;
    RegfValue found;
    RegfKey child;
    RegfReadValueData(hive, value, Buffer, sizeof Buffer, size);
    // By its own name, as far as a short buffer holds it.
    if (RegfNameUnits(hive, value.name, name, 256, count) && count <= 256) {
        RegfFindValue(hive, key, name, count, found);
        RegfFindSubkey(hive, key, name, count, child);
    }
    return hive.fault.kind == RegfFaultKind::None;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // A copy exactly as long: a read past the end is out of bounds for ASan.
    std::vector<unsigned char> file(data, data + size);
    MemoryHiveBytes bytes(file.data(), file.size());
    RegfReader hive;
    if (!RegfOpenHive(bytes, hive))
        return 0;
    RegfWalkVisitor visitor;
    visitor.key = VisitKey;
    visitor.value = VisitValue;
    visitor.context = &hive;
    RegfWalkHive(hive, visitor, 4096);
    return 0;
}
