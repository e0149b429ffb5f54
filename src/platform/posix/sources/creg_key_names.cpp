#include "platform/posix/sources/creg_key_names.h"

#include <cstdint>

#include "platform/posix/base/text_compare.h"

namespace {

// One of them is enough: a damaged SYSTEM.DAT that lost a key is still one.
const char *const SystemDatTopKeys[] = {"Config", "Enum", "System"};
const char *const UserDatTopKeys[] = {"AppEvents", "Control Panel"};
const std::size_t NamesShown = 6;

// A key name may hold any byte; the message stays one line.
std::string Printable(const std::string &name)
{
    std::string shown = name;
    for (char &c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return shown;
}

template <std::size_t N>
bool AnyNamed(const std::vector<std::string> &names, const char *const (&wanted)[N])
{
    for (const std::string &name : names)
        for (const char *one : wanted)
            if (RegNamesEqual(name, one))
                return true;
    return false;
}

} // namespace

bool CregKeyName(const CregFunctions &creg, libcreg_key_t *key, std::string &name)
{
    std::size_t size = 0;
    if (creg.key_get_name_size(key, &size, nullptr) != 1)
        return false;
    name.assign(size, '\0');
    return size == 0 || creg.key_get_name(key, reinterpret_cast<std::uint8_t *>(&name[0]), size, nullptr) == 1;
}

std::string NotSystemDatProblem(const std::vector<std::string> &names)
{
    if (AnyNamed(names, SystemDatTopKeys))
        return "";
    if (names.empty())
        return "not a SYSTEM.DAT: no key at its top";
    std::string problem = "not a SYSTEM.DAT: no Config, Enum or System key at its top, which holds ";
    for (std::size_t i = 0; i < names.size() && i < NamesShown; ++i)
        problem += (i == 0 ? "" : ", ") + Printable(names[i]);
    if (names.size() > NamesShown)
        problem += ", ...";
    if (AnyNamed(names, UserDatTopKeys))
        problem += " (as a USER.DAT does)";
    return problem;
}
