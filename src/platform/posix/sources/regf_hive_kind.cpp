#include "platform/posix/sources/regf_hive_kind.h"

#include <cstdlib>
#include <vector>

#include "platform/posix/base/text_compare.h"

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

// The root's subkey names; false when hivex cannot list them (damage is the
// source's to report, when a lookup meets it).
bool RootKeys(const HivexFunctions *hivex, hive_h *handle, std::string &rootName, std::vector<std::string> &names)
{
    hive_node_h root = hivex->root(handle);
    char *own = root == 0 ? nullptr : hivex->node_name(handle, root);
    hive_node_h *children = own == nullptr ? nullptr : hivex->node_children(handle, root);
    if (own != nullptr)
        rootName = own;
    std::free(own);
    if (children == nullptr)
        return false;
    for (std::size_t i = 0; children[i] != 0; ++i) {
        char *name = hivex->node_name(handle, children[i]);
        if (name != nullptr)
            names.push_back(name);
        std::free(name);
    }
    std::free(children);
    return true;
}

} // namespace

std::string RegfHiveKindProblem(const HivexFunctions *hivex, hive_h *handle, bool system)
{
    std::string rootName;
    std::vector<std::string> names;
    if (!RootKeys(hivex, handle, rootName, names))
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
        holds += (i == 0 ? ", but " : ", ") + names[i];
    if (names.size() > shown)
        holds += " and " + std::to_string(names.size() - shown) + " more";
    std::string missing = system ? !select && !controlSet ? "no Select and no ControlSet key"
                                   : !select             ? "no Select key"
                                                         : "no ControlSet key"
                                 : "no Microsoft key";
    return std::string("not a ") + (system ? "SYSTEM" : "SOFTWARE") + " hive: its root key " + rootName + " holds " +
           (names.empty() ? "no key at all" : missing + holds);
}
