// Writes an NT SYSTEM hive of about the given size for the benchmark: three
// control sets of a thousand services and a device tree, and last of all in each set
// nine adapter instances that carry another card. Built on hivex's write
// API from an empty hive this program lays out itself.
//
//   generate_nt_hive MEGABYTES SYSTEM-PATH SOFTWARE-PATH
#include <hivex.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../tests/fixtures/regf_writer.h"

namespace {

std::string Utf16(const std::string &text)
{
    std::string out;
    for (char c : text) {
        out += c;
        out += '\0';
    }
    return out + std::string(2, '\0');
}

hive_node_h Child(hive_h *h, hive_node_h parent, const char *name)
{
    hive_node_h child = hivex_node_get_child(h, parent, name);
    return child != 0 ? child : hivex_node_add_child(h, parent, name);
}

bool SetStrings(hive_h *h, hive_node_h node, const std::vector<std::pair<std::string, std::string>> &pairs)
{
    std::vector<std::string> names, data;
    for (const auto &p : pairs) {
        names.push_back(p.first);
        data.push_back(Utf16(p.second));
    }
    std::vector<hive_set_value> values;
    for (std::size_t i = 0; i < pairs.size(); ++i)
        values.push_back({&names[i][0], hive_t_REG_SZ, data[i].size(), &data[i][0]});
    return hivex_node_set_values(h, node, values.size(), values.data(), 0) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: generate_nt_hive MEGABYTES SYSTEM-PATH SOFTWARE-PATH\n");
        return 1;
    }
    const long megabytes = std::atol(argv[1]);
    // About 4.5 KB of hive per device, the freed lists included; three sets share the size.
    const long devices = megabytes * 1024 * 1024 / 4500 / 3 + 1;
    if (!WriteRegfHive({{"Select", {{"Current", REG_DWORD, std::string("\1\0\0\0", 4)}}}}, argv[2]) ||
        !WriteRegfHive({{"Microsoft\\Windows NT\\CurrentVersion",
                         {{"CurrentVersion", REG_SZ, std::string("5.1\0", 4)},
                          {"CurrentBuildNumber", REG_SZ, std::string("2600\0", 5)}}}},
                       argv[3]))
        return 1;
    hive_h *h = hivex_open(argv[2], HIVEX_OPEN_WRITE);
    if (h == nullptr)
        return 1;
    const std::string filler(200, 'p');
    bool ok = true;
    for (int set = 1; set <= 3 && ok; ++set) {
        char setName[32];
        std::snprintf(setName, sizeof setName, "ControlSet%03d", set);
        hive_node_h setKey = Child(h, hivex_root(h), setName);
        hive_node_h servicesKey = Child(h, setKey, "Services");
        // A thousand services, as a real set has; the bulk sits in the
        // device tree, in groups of a hundred (hivex grows a key's subkey
        // list one copy per child, so wide keys would fill the hive with
        // freed lists).
        for (long i = 0; i < 1000 && ok; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "Svc%04ld", i);
            hive_node_h service = hivex_node_add_child(h, servicesKey, name);
            hive_node_h parameters = service != 0 ? hivex_node_add_child(h, service, "Parameters") : 0;
            ok = parameters != 0 &&
                 SetStrings(h, service, {{"DisplayName", name}, {"ImagePath", "system32\\drivers\\x.sys"}}) &&
                 SetStrings(h, parameters, {{"A", filler}, {"B", filler}, {"C", filler}, {"D", filler}});
        }
        hive_node_h enumKey = Child(h, setKey, "Enum");
        for (long group = 0; group * 100 < devices && ok; ++group) {
            char name[32];
            std::snprintf(name, sizeof name, "Bus%04ld", group);
            hive_node_h bus = hivex_node_add_child(h, enumKey, name);
            for (long i = 0; i < 100 && bus != 0 && ok; ++i) {
                std::snprintf(name, sizeof name, "Dev%03ld", i);
                hive_node_h device = hivex_node_add_child(h, bus, name);
                ok = device != 0 && SetStrings(h, device, {{"A", filler}, {"B", filler}, {"C", filler},
                                                           {"D", filler}, {"Driver", name}});
            }
            ok = ok && bus != 0;
        }
        for (int instance = 1; instance <= 9 && ok; ++instance) {
            std::string name = "TESRO41" + std::to_string(instance);
            ok = SetStrings(h, Child(h, Child(h, servicesKey, name.c_str()), "Parameters"),
                            {{"VendorDescription", "Another PC Card"}, {"DesiredSSID", "Elsewhere"}});
        }
    }
    ok = ok && hivex_commit(h, nullptr, 0) == 0;
    hivex_close(h);
    return ok ? 0 : 1;
}
