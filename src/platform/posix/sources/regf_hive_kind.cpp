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

// The root's subkey names; false when hivex cannot list them.
bool RootKeys(const HivexFunctions *hivex, hive_h *handle, std::string &rootName, std::vector<std::string> &names)
{
    hive_node_h root = hivex->root(handle);
    if (root == 0 || !RegfNodeName(hivex, handle, root, rootName))
        return false;
    hive_node_h *children = hivex->node_children(handle, root);
    if (children == nullptr)
        return false;
    for (std::size_t i = 0; children[i] != 0; ++i) {
        std::string name;
        if (RegfNodeName(hivex, handle, children[i], name))
            names.push_back(name);
    }
    std::free(children);
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
    std::string rootName;
    std::vector<std::string> names;
    rootListed = RootKeys(hivex, handle, rootName, names);
    if (!rootListed)
        return "";
    bool select = false, controlSet = false, microsoft = false;
    for (const std::string &name : names) {
        select = select || RegNamesEqual(name, "Select");
        controlSet = controlSet || IsControlSet(name);
        microsoft = microsoft || RegNamesEqual(name, "Microsoft");
    }
    if (system ? select && controlSet : microsoft)
        return "";
    std::string holds;
    const std::size_t shown = 6;
    for (std::size_t i = 0; i < names.size() && i < shown; ++i)
        holds += (i == 0 ? ", but " : ", ") + Shown(names[i]);
    if (names.size() > shown)
        holds += " and " + std::to_string(names.size() - shown) + " more";
    std::string missing = system ? !select && !controlSet ? "no Select and no ControlSet key"
                                   : !select             ? "no Select key"
                                                         : "no ControlSet key"
                                 : "no Microsoft key";
    return std::string("not a ") + (system ? "SYSTEM" : "SOFTWARE") + " hive: its root key " + Shown(rootName) + " holds " +
           (names.empty() ? "no key at all" : missing + holds);
}
