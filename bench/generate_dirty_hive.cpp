// Writes the dirty variant of a clean hive for the benchmark: the primary as
// it was, marked cut short mid-write, and new-format logs (PRIMARY.LOG1 and
// PRIMARY.LOG2) holding about a megabyte of values added since. Replaying
// them gives the clean hive plus ControlSet001\Services\BenchReplay.
//
//   generate_dirty_hive CLEAN-HIVE DIRTY-PRIMARY
#include <hivex.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../tests/fixtures/hive_log_writer.h"

namespace {

std::string Slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// 256 values of 4000 bytes: about a megabyte of new bins.
bool AddValues(const std::string &path)
{
    hive_h *h = hivex_open(path.c_str(), HIVEX_OPEN_WRITE);
    if (h == nullptr)
        return false;
    hive_node_h set = hivex_node_get_child(h, hivex_root(h), "ControlSet001");
    hive_node_h services = set != 0 ? hivex_node_get_child(h, set, "Services") : 0;
    hive_node_h key = services != 0 ? hivex_node_add_child(h, services, "BenchReplay") : 0;
    std::vector<std::string> names, data;
    for (int i = 0; i < 256; ++i) {
        names.push_back("V" + std::to_string(i));
        data.push_back(std::string(4000, static_cast<char>('a' + i % 26)));
    }
    std::vector<hive_set_value> values;
    for (std::size_t i = 0; i < names.size(); ++i)
        values.push_back({&names[i][0], hive_t_REG_BINARY, data[i].size(), &data[i][0]});
    bool ok = key != 0 && hivex_node_set_values(h, key, values.size(), values.data(), 0) == 0 &&
              hivex_commit(h, nullptr, 0) == 0;
    hivex_close(h);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: generate_dirty_hive CLEAN-HIVE DIRTY-PRIMARY\n");
        return 1;
    }
    const std::string out = argv[2];
    const std::string clean = Slurp(argv[1]);
    std::ofstream(out, std::ios::binary | std::ios::trunc) << clean;
    if (clean.empty() || !AddValues(out))
        return 1;
    HiveLogSet set;
    if (!WriteHiveLogs(clean, Slurp(out), out.substr(out.rfind('/') + 1), HiveLogKind::NewDual, HiveLogDamage::None,
                       set))
        return 1;
    std::ofstream(out, std::ios::binary | std::ios::trunc) << set.primary;
    const std::string dir = out.rfind('/') == std::string::npos ? "" : out.substr(0, out.rfind('/') + 1);
    for (const auto &log : set.logs)
        std::ofstream(dir + log.first, std::ios::binary | std::ios::trunc) << log.second;
    return 0;
}
