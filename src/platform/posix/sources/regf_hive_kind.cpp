#include "platform/posix/sources/regf_hive_kind.h"

#include <cstdlib>
#include <vector>

#include "platform/posix/base/text_compare.h"
#include "platform/posix/base/trace_line.h"
#include "platform/posix/sources/regf_hive_file.h"

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

} // namespace

std::string RegfHiveKindProblem(const HivexFunctions *hivex, hive_h *handle, bool system, bool &rootListed)
{
    // Names as node_name gives them: hivex decodes a name anew to tell its
    // whole length, so that is asked only of the names that count.
    hive_node_h root = hivex->root(handle);
    RegfChildList list;
    bool unnamed = false;
    rootListed = root != 0 && ListRegfChildren(hivex, handle, root, list, unnamed);
    if (!rootListed)
        return "";
    const std::vector<RegfChildList::Child> &keys = list.children;
    bool select = false, controlSet = false, microsoft = false;
    for (const RegfChildList::Child &key : keys) {
        bool isSelect = RegNamesEqual(key.name, "Select"), isSet = IsControlSet(key.name);
        bool isMicrosoft = RegNamesEqual(key.name, "Microsoft");
        if (!isSelect && !isSet && !isMicrosoft)
            continue;
        bool whole = hivex->node_name_len(handle, key.node) == key.name.size(); // no NUL cut it short
        select = select || (isSelect && whole);
        controlSet = controlSet || (isSet && whole);
        microsoft = microsoft || (isMicrosoft && whole);
    }
    if (system ? select && controlSet : microsoft)
        return "";
    std::string rootName, holds, name;
    RegfNodeName(hivex, handle, root, rootName);
    const std::size_t shown = 6;
    for (std::size_t i = 0; i < keys.size() && i < shown; ++i)
        holds += (i == 0 ? ", but " : ", ") + Shown(RegfNodeName(hivex, handle, keys[i].node, name) ? name : keys[i].name);
    if (keys.size() > shown)
        holds += " and " + std::to_string(keys.size() - shown) + " more";
    std::string missing = system ? !select && !controlSet ? "no Select and no ControlSet key"
                                   : !select             ? "no Select key"
                                                         : "no ControlSet key"
                                 : "no Microsoft key";
    return std::string("not a ") + (system ? "SYSTEM" : "SOFTWARE") + " hive: its root key " + Shown(rootName) +
           " holds " + (keys.empty() ? "no key at all" : missing + holds);
}
