// Reads through hivex: raw data with its declared size and its own subkey
// walk, compared here by name as the registry compares them.
#include "platform/posix/sources/regf_hive_source.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/error_line.h"
#include "platform/posix/base/text_compare.h"
#include "platform/posix/sources/regf_hive_opening.h"

namespace {

const HivexFunctions *Hivex = nullptr; // set by the first open

// Listed once per node: a run asks for the same service list up to eighteen times.
using ChildList = RegfChildList;

struct RegfHiveSource : RegistrySource {
    RegfHive system, software;
    std::string controlSet; // "ControlSet001", or "" when CurrentControlSet does not exist
    mutable std::map<std::pair<const RegfHive *, hive_node_h>, ChildList> childLists;
    mutable bool damageReported[2] = {false, false}; // SYSTEM, SOFTWARE

    ~RegfHiveSource() override
    {
        for (const RegfHive *hive : {&system, &software})
            if (hive->handle != nullptr)
                Hivex->close(hive->handle);
    }

    DWORD FormatPlatformId() const override { return VER_PLATFORM_WIN32_NT; }

    // A hive that opened but fails inside is reported once, by what could
    // not be read, and the key read as missing.
    void ReportDamage(const RegfHive &hive, const char *what = "the root key") const
    {
        bool &reported = damageReported[&hive == &system ? 0 : 1];
        if (reported)
            return;
        reported = true;
        PrintErrorLine("dorovivi: " + hive.path + ": damaged hive (" + what +
                       " cannot be read); keys in the damaged part read as missing");
    }

    const ChildList &Children(const RegfHive &hive, hive_node_h node) const
    {
        auto slot = childLists.emplace(std::make_pair(&hive, node), ChildList());
        ChildList &list = slot.first->second;
        if (!slot.second)
            return list;
        bool unnamed = false;
        if (!ListRegfChildren(Hivex, hive.handle, node, list, unnamed))
            ReportDamage(hive, "a key's subkey list");
        else if (unnamed)
            ReportDamage(hive, "a subkey's name");
        return list;
    }

    bool Child(const RegfHive &hive, hive_node_h node, std::string_view name, hive_node_h &child) const
    {
        for (const auto &entry : Children(hive, node).children) {
            if (!RegNamesEqual(entry.name, name))
                continue;
            // A name that goes on past a NUL is another name; asked once, as hivex decodes it anew.
            if (entry.whole < 0)
                entry.whole = Hivex->node_name_len(hive.handle, entry.node) == entry.name.size();
            if (entry.whole == 1) {
                child = entry.node;
                return true;
            }
        }
        return false;
    }

    // The hive and node of a path below HKLM; `isRoot` for HKLM itself.
    bool Resolve(std::string_view path, const RegfHive *&hive, hive_node_h &node, bool &isRoot) const
    {
        std::size_t cut = path.find('\\');
        std::string_view top = path.substr(0, cut);
        std::string_view rest = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
        isRoot = path.empty();
        if (isRoot)
            return true;
        if (path.back() == '\\')
            return false; // an empty last name, as the export's index has no such key
        if (RegNamesEqual(top, "SYSTEM"))
            hive = &system;
        else if (RegNamesEqual(top, "SOFTWARE"))
            hive = &software;
        else
            return false; // HARDWARE, SAM and SECURITY live only in a running system
        if (hive->handle == nullptr)
            return false; // refused: it reads as an empty hive
        node = Hivex->root(hive->handle);
        if (node == 0) {
            ReportDamage(*hive);
            return false;
        }
        bool first = true;
        while (!rest.empty()) {
            cut = rest.find('\\');
            std::string_view part = rest.substr(0, cut);
            rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
            // The boot loader links CurrentControlSet to the selected set.
            if (first && hive == &system && RegNamesEqual(part, "CurrentControlSet")) {
                if (controlSet.empty())
                    return false;
                part = controlSet;
            }
            first = false;
            if (part.empty() || !Child(*hive, node, part, node))
                return false;
        }
        return true;
    }

    bool KeyExists(std::string_view path) const override
    {
        RegfKeyPlace key;
        return Resolve(path, key.hive, key.node, key.isRoot);
    }

    bool KeyLastWrite(std::string_view path, std::uint64_t &filetime) const override
    {
        RegfKeyPlace key;
        return Resolve(path, key.hive, key.node, key.isRoot) && RegfNodeLastWrite(Hivex, key, filetime);
    }

    bool FindValue(std::string_view path, std::string_view name, DWORD &type, std::string &data) const override
    {
        RegfKeyPlace key;
        std::string raw;
        if (!Resolve(path, key.hive, key.node, key.isRoot) || key.isRoot || !RawValue(*key.hive, key.node, name, type, raw))
            return false;
        DecodeRegfValue(type, raw, data);
        return true;
    }

    bool RawValue(const RegfHive &hive, hive_node_h node, std::string_view name, DWORD &type, std::string &raw) const
    {
        hive_value_h *values = Hivex->node_values(hive.handle, node);
        if (values == nullptr) {
            ReportDamage(hive, "a key's value list");
            return false;
        }
        bool found = false;
        for (std::size_t i = 0; values[i] != 0 && !found; ++i) {
            char *key = Hivex->value_key(hive.handle, values[i]);
            if (key == nullptr) {
                ReportDamage(hive, "a value's name");
                continue;
            }
            bool match = RegNamesEqual(key, name);
            std::free(key);
            if (!match)
                continue;
            hive_type stored;
            std::size_t size = 0;
            char *bytes = Hivex->value_value(hive.handle, values[i], &stored, &size);
            if (bytes == nullptr) {
                ReportDamage(hive, "a value's data");
                break;
            }
            // hivex stores the hive's type number as it is, often outside
            // its enum's values, so it is read as the 32-bit number it is.
            std::uint32_t number;
            static_assert(sizeof stored == sizeof number, "hive_type is a C enum of 32 bits");
            std::memcpy(&number, &stored, sizeof number);
            type = number;
            raw.assign(bytes, size);
            std::free(bytes);
            found = true;
        }
        std::free(values);
        return found;
    }
};

// "ControlSet%03u" for SYSTEM\Select's REG_DWORD Current, when that set exists.
std::string CurrentControlSet(const RegfHiveSource &source)
{
    if (source.system.handle == nullptr)
        return "";
    hive_node_h root = Hivex->root(source.system.handle);
    hive_node_h select = 0, set = 0;
    DWORD type = 0;
    std::string current;
    if (root == 0 || !source.Child(source.system, root, "Select", select) ||
        !source.RawValue(source.system, select, "Current", type, current) || type != REG_DWORD ||
        current.size() != 4)
        return "";
    unsigned long number = ReadLe32(reinterpret_cast<const unsigned char *>(current.data()));
    char name[32];
    std::snprintf(name, sizeof name, "ControlSet%03lu", number);
    if (number == 0 || !source.Child(source.system, root, name, set))
        return "";
    return name;
}

} // namespace

RegistrySource *OpenRegfHiveSource(const RegfHiveFile &system, const RegfHiveFile &software,
                                   std::vector<HiveFileFacts> &facts, std::string &problem)
{
    Hivex = HivexLibrary(problem);
    if (Hivex == nullptr) {
        for (int fd : {system.fd, software.fd})
            close(fd);
        return nullptr;
    }
    RegfHiveSource *source = new RegfHiveSource;
    std::vector<std::string> lines;
    facts.assign(2, HiveFileFacts());
    bool read[2] = {false, false};
    for (int i = 0; i < 2; ++i) {
        const RegfHiveFile &file = i == 0 ? system : software;
        facts[i].file = file.name;
        if (file.fd < 0 && !file.unopened.empty())
            lines.push_back(file.name + ": " + file.unopened + "; read as an empty hive");
        else
            read[i] = OpenNtHive(Hivex, file.fd, file.name, file.logs, i == 0, i == 0 ? source->system : source->software,
                                 facts[i], lines);
    }
    for (const std::string &line : lines)
        PrintErrorLine("dorovivi: " + line);
    problem.clear(); // all there is to say is said
    if (!read[0] && !read[1]) {
        delete source;
        return nullptr;
    }
    // A hive cut short has been said to be: what is missing from it is no news.
    source->damageReported[0] = !source->system.shortfall.empty();
    source->damageReported[1] = !source->software.shortfall.empty();
    source->controlSet = CurrentControlSet(*source);
    return source;
}
