#include "adapter/driver_release.h"

#include "adapter/adapter_key_path.h"
#include "adapter/decimal_text.h"
#include "common/tool_release.h"
#include "platform/win32.h"
#include "registry/read_reg_string.h"

namespace {

struct ReleasePart {
    const char *valueName;
    int expected;
};

// The driver of the tool's own release; read in this order, stopping at the
// first that differs.
const ReleasePart ExpectedRelease[] = {
    {"DriverVariant", ToolVariant},
    {"DriverMajor", ToolVersionMajor},
    {"DriverMinor", ToolVersionMinor},
};

} // namespace

int IsExpectedDriverRelease()
{
    for (const ReleasePart &part : ExpectedRelease) {
        char number[32];
        if (!ReadRegString(HKEY_LOCAL_MACHINE, AdapterKeyPath, part.valueName, number) ||
            ParseDecimal(number) != part.expected)
            return 0;
    }
    return 1;
}
