#include "platform/posix/sources/regf/regf_fault.h"

namespace {

// In the enum's order.
const char *const kFaultNames[] = {
    "none",           "read-failed",      "not-a-hive",        "bins-size-invalid", "offset-past-bins",
    "offset-misaligned", "no-hive-bin",   "cell-size-invalid", "cell-free",         "cell-past-bin",
    "record-past-cell", "not-key-node",   "not-subkey-list",   "index-root-nested", "not-value-key",
    "not-big-data",   "count-past-cell",  "name-past-cell",    "class-past-cell",   "data-past-cell",
    "inline-data-too-long", "big-data-segments", "subkey-count-mismatch", "key-tree-too-deep", "key-loop",
    "walk-limit",
};

} // namespace

const char *RegfFaultName(RegfFaultKind kind)
{
    std::size_t at = static_cast<std::size_t>(kind);
    return at < sizeof kFaultNames / sizeof kFaultNames[0] ? kFaultNames[at] : "unknown";
}
