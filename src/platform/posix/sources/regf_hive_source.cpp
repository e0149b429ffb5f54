// Reads only the cells a lookup touches: the subkey lists along the path,
// the key's value list and the one value asked for.
#include "platform/posix/sources/regf_hive_source.h"

#include <cstdint>
#include <cstdio>
#include <map>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/error_line.h"
#include "platform/posix/base/text_compare.h"
#include "platform/posix/base/text_encoding.h"
#include "platform/posix/sources/regf/regf_big_data.h"
#include "platform/posix/sources/regf/regf_subkey_list.h"
#include "platform/posix/sources/regf_fault_words.h"
#include "platform/posix/sources/regf_hive_opening.h"

namespace {

// A name from the A functions (UTF-8) as the UTF-16 units a hive compares.
void Units(std::string_view text, std::vector<std::uint16_t> &units)
{
    units.clear();
    for (std::size_t i = 0; i < text.size();) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        std::uint32_t point = lead;
        std::size_t extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        if (lead >= 0x80 && extra == 0)
            point = 0xFFFD; // a stray continuation byte
        else
            point = extra == 0 ? lead : lead & (0x3F >> extra);
        std::size_t taken = 1;
        for (; taken <= extra && i + taken < text.size(); ++taken)
            point = point << 6 | (static_cast<unsigned char>(text[i + taken]) & 0x3F);
        i += taken;
        if (point >= 0x10000) {
            point -= 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xD800 + (point >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + (point & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(point));
        }
    }
}

// A path as asked, resolved: a run asks for the same keys again and again
// (a key is opened, then each of its values read), and for the same parents.
struct ResolvedKey {
    NtHive *hive;
    RegfKey key;
    bool found;
};

struct RegfHiveSource : RegistrySource {
    mutable NtHive system, software; // their readers keep the bins they last found, and a fault
    std::string controlSet; // "ControlSet001", or "" when CurrentControlSet does not exist
    Fault softwareUnread;
    mutable std::map<std::string, ResolvedKey, std::less<>> resolved;

    DWORD FormatPlatformId() const override { return VER_PLATFORM_WIN32_NT; }
    Fault SoftwareUnread() const override { return softwareUnread; }

    // A hive whose cells fail a check where a lookup reaches them is said to
    // be damaged once, in the format's words; the lookup reads as missing.
    bool Damaged(NtHive &hive) const
    {
        if (hive.reader.fault.kind != RegfFaultKind::None && !hive.damageSaid) {
            hive.damageSaid = true;
            PrintErrorLine(hive.name + ": damaged hive (" + RegfFaultWords(hive.reader.fault) +
                           "); keys in the damaged part read as missing");
        }
        RegfClearFault(hive.reader);
        return false;
    }

    bool Child(NtHive &hive, const RegfKey &parent, std::string_view name, RegfKey &child) const
    {
        std::vector<std::uint16_t> units;
        Units(name, units);
        return RegfFindSubkey(hive.reader, parent, units.data(), units.size(), child) || Damaged(hive);
    }

    // The hive and key of a path below HKLM; `isRoot` for HKLM itself.
    bool Resolve(std::string_view path, NtHive *&hive, RegfKey &key, bool &isRoot) const
    {
        isRoot = path.empty();
        if (isRoot)
            return true;
        const ResolvedKey &found = Lookup(path);
        hive = found.hive;
        key = found.key;
        return found.found;
    }

    // Each parent is looked up once, then kept with the path as asked.
    const ResolvedKey &Lookup(std::string_view path) const
    {
        auto known = resolved.find(path);
        if (known != resolved.end())
            return known->second;
        ResolvedKey found{nullptr, RegfKey(), false};
        std::size_t cut = path.rfind('\\');
        if (cut == std::string_view::npos) {
            // HARDWARE, SAM and SECURITY live only in a running system; a
            // refused hive reads as an empty one.
            found.hive = RegNamesEqual(path, "SYSTEM") ? &system : RegNamesEqual(path, "SOFTWARE") ? &software : nullptr;
            found.found = found.hive != nullptr && found.hive->open;
            if (found.found)
                found.key = found.hive->root;
        } else {
            std::string_view above = path.substr(0, cut);
            const ResolvedKey &parent = Lookup(above);
            found.hive = parent.hive;
            found.found = parent.found && Step(*parent.hive, parent.key, path.substr(cut + 1),
                                               above.find('\\') == std::string_view::npos, found.key);
        }
        return resolved.emplace(std::string(path), found).first->second;
    }

    // One name down from `parent`; `first`: the name right below the hive's
    // root. An empty name (a path ending in a backslash) names no key.
    bool Step(NtHive &hive, const RegfKey &parent, std::string_view part, bool first, RegfKey &key) const
    {
        // The boot loader links CurrentControlSet to the selected set.
        if (first && &hive == &system && RegNamesEqual(part, "CurrentControlSet")) {
            if (controlSet.empty())
                return false;
            part = controlSet;
        }
        return !part.empty() && Child(hive, parent, part, key);
    }

    bool KeyExists(std::string_view path) const override
    {
        NtHive *hive = nullptr;
        RegfKey key;
        bool isRoot = false;
        return Resolve(path, hive, key, isRoot);
    }

    bool KeyLastWrite(std::string_view path, std::uint64_t &filetime) const override
    {
        NtHive *hive = nullptr;
        RegfKey key;
        bool isRoot = false;
        if (!Resolve(path, hive, key, isRoot) || isRoot)
            return false;
        filetime = key.lastWritten;
        return true;
    }

    bool FindValue(std::string_view path, std::string_view name, DWORD &type, std::string &data) const override
    {
        NtHive *hive = nullptr;
        RegfKey key;
        bool isRoot = false;
        std::string raw;
        if (!Resolve(path, hive, key, isRoot) || isRoot || !RawValue(*hive, key, name, type, raw))
            return false;
        if (!IsStringType(type)) {
            data.swap(raw);
            return true;
        }
        data.clear();
        AppendUtf16LeAsUtf8(reinterpret_cast<const unsigned char *>(raw.data()), raw.size(), data);
        EndStringAsAFunctionDoes(type, data);
        return true;
    }

    bool RawValue(NtHive &hive, const RegfKey &key, std::string_view name, DWORD &type, std::string &raw) const
    {
        std::vector<std::uint16_t> units;
        Units(name, units);
        RegfReader &reader = hive.reader;
        RegfValue value;
        if (!RegfFindValue(reader, key, units.data(), units.size(), value))
            return Damaged(hive);
        // No value holds more than the hive bins: a size past them is not believed.
        if (value.dataSize > reader.binsSize) {
            RegfFail(reader, RegfFaultKind::DataPastCell, value.cell.offset);
            return Damaged(hive);
        }
        raw.resize(value.dataSize);
        std::size_t size = 0;
        if (!RegfReadValueData(reader, value, reinterpret_cast<unsigned char *>(&raw[0]), raw.size(), size))
            return Damaged(hive);
        type = value.type;
        return true;
    }
};

// "ControlSet%03u" for SYSTEM\Select's REG_DWORD Current, when that set exists.
std::string CurrentControlSet(const RegfHiveSource &source)
{
    NtHive &system = source.system;
    RegfKey select, set;
    DWORD type = 0;
    std::string current;
    if (!system.open || !source.Child(system, system.root, "Select", select) ||
        !source.RawValue(system, select, "Current", type, current) || type != REG_DWORD || current.size() != 4)
        return "";
    unsigned long number = ReadLe32(reinterpret_cast<const unsigned char *>(current.data()));
    char name[32];
    std::snprintf(name, sizeof name, "ControlSet%03lu", number);
    if (number == 0 || !source.Child(system, system.root, name, set))
        return "";
    return name;
}

} // namespace

RegistrySource *OpenRegfHiveSource(const RegistryFile &system, const std::vector<RegistryFile> &systemLogs,
                                   const RegistryFile &software, const std::vector<RegistryFile> &softwareLogs,
                                   std::vector<HiveFileFacts> &facts)
{
    RegfHiveSource *source = new RegfHiveSource;
    std::vector<std::string> lines;
    facts.assign(2, HiveFileFacts());
    bool read = OpenNtHive(system, systemLogs, true, source->system, facts[0], lines);
    read = OpenNtHive(software, softwareLogs, false, source->software, facts[1], lines) || read;
    for (const std::string &line : lines)
        PrintErrorLine(line);
    if (!read) {
        delete source;
        return nullptr;
    }
    source->controlSet = CurrentControlSet(*source);
    if (!facts[1].unread.empty())
        source->softwareUnread = {software.name, facts[1].unread};
    return source;
}
