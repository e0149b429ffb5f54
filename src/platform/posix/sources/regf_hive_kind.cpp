#include "platform/posix/sources/regf_hive_kind.h"

#include <vector>

#include "platform/posix/base/text_compare.h"
#include "platform/posix/base/text_encoding.h"
#include "platform/posix/base/trace_line.h"
#include "platform/posix/sources/regf/regf_subkey_list.h"

namespace {

bool IsControlSet(const std::string &name)
{
    const char prefix[] = "ControlSet";
    const std::size_t length = sizeof prefix - 1;
    if (name.size() != length + 3 || !RegNamesEqual(std::string_view(name).substr(0, length), prefix))
        return false;
    for (std::size_t i = length; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return false;
    }
    return true;
}

// A key name as a line shows it: escaped as the trace escapes it (a NUL
// inside as \u0000), without the quotes around it.
std::string Shown(const std::string &name)
{
    std::string text;
    AppendJsonString(text, name);
    return text.substr(1, text.size() - 2);
}

struct RootKeys {
    RegfReader *hive;
    std::vector<std::string> names;
};

bool AddName(void *context, const RegfSubkeyEntry &entry)
{
    RootKeys &keys = *static_cast<RootKeys *>(context);
    RegfKey key;
    std::string name;
    if (!RegfReadKey(*keys.hive, entry.key, key) || !RegfNameText(*keys.hive, key.name, name))
        return false;
    keys.names.push_back(name);
    return true;
}

} // namespace

bool RegfNameText(RegfReader &hive, const RegfName &name, std::string &text)
{
    std::size_t length = RegfNameLength(name), count = 0;
    std::vector<std::uint16_t> units(length);
    if (!RegfNameUnits(hive, name, units.data(), units.size(), count))
        return false;
    std::string bytes(count * 2, '\0');
    for (std::size_t i = 0; i < count && i < units.size(); ++i) {
        bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
    }
    text.clear();
    AppendUtf16LeAsUtf8(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), text);
    return true;
}

std::string RegfHiveKindProblem(RegfReader &hive, const RegfKey &root, bool system, bool &rootListed)
{
    RootKeys keys{&hive, {}};
    rootListed = RegfForEachSubkey(hive, root, AddName, &keys);
    if (!rootListed)
        return "";
    bool select = false, controlSet = false, microsoft = false;
    for (const std::string &name : keys.names) {
        select = select || RegNamesEqual(name, "Select");
        controlSet = controlSet || IsControlSet(name);
        microsoft = microsoft || RegNamesEqual(name, "Microsoft");
    }
    if (system ? select && controlSet : microsoft)
        return "";
    std::string rootName, holds;
    RegfNameText(hive, root.name, rootName);
    const std::size_t shown = 6;
    for (std::size_t i = 0; i < keys.names.size() && i < shown; ++i)
        holds += (i == 0 ? ", but " : ", ") + Shown(keys.names[i]);
    if (keys.names.size() > shown)
        holds += " and " + std::to_string(keys.names.size() - shown) + " more";
    std::string missing = system ? !select && !controlSet ? "no Select and no ControlSet key"
                                   : !select             ? "no Select key"
                                                         : "no ControlSet key"
                                 : "no Microsoft key";
    return std::string("not a ") + (system ? "SYSTEM" : "SOFTWARE") + " hive: its root key " + Shown(rootName) +
           " holds " + (keys.names.empty() ? "no key at all" : missing + holds);
}
