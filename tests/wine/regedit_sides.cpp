// Each side's answers for the generated files: Wine's from reg_dump.exe, the
// emulation's from its own functions, and where they differ.
#include "regedit_diff.h"

#include <cstdlib>
#include <sstream>

#include "platform/posix/system/emulated_system.h"

bool IsText(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// What reg_dump.exe printed, split per file root, in each file's text form.
std::map<std::string, Registry> ParseDump(const std::string &dump, const std::vector<Generated> &files)
{
    std::map<std::string, Registry> roots;
    std::istringstream lines(dump);
    std::string line, key;
    bool utf16 = false;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string kind, nameA, nameW, type, dataA, dataW;
        fields >> kind >> nameA >> nameW;
        if (kind == "K") {
            std::string pathA = FromHex(nameA);
            if (pathA.size() <= std::string(Base).size())
                continue;
            std::size_t cut = pathA.find('\\', std::string(Base).size() + 1);
            std::string root = Lower(pathA.substr(0, cut));
            std::size_t index = static_cast<std::size_t>(std::atoi(root.c_str() + std::string(Base).size() + 2));
            utf16 = index < files.size() && files[index].utf16;
            key = Lower(utf16 ? Utf8OfUtf16Bytes(FromHex(nameW)) : pathA);
            roots[root][key];
            continue;
        }
        fields >> type >> dataA >> dataW;
        std::string root = key.substr(0, key.find('\\', std::string(Base).size() + 1));
        DWORD number = static_cast<DWORD>(std::stoul(type, nullptr, 16));
        std::string name = utf16 ? Utf8OfUtf16Bytes(FromHex(nameW)) : FromHex(nameA);
        roots[root][key][Lower(name)] = {number, FromHex(utf16 && IsText(number) ? dataW : dataA)};
    }
    return roots;
}

// The emulation's answer for one file, for every key and name asked.
Registry NativeAnswers(const std::string &dir, const Generated &file, const Registry &wine)
{
    std::set<std::string> keys;
    std::set<std::pair<std::string, std::string>> names;
    for (const std::string &k : file.keys)
        keys.insert(Lower(k));
    for (const auto &n : file.names)
        names.insert({Lower(n.first), n.second});
    for (const auto &k : wine) {
        keys.insert(k.first);
        for (const auto &v : k.second)
            names.insert({k.first, v.first});
    }
    setenv("DOROVIVI_ROOT", dir.c_str(), 1);
    ResetEmulatedSystem();
    Registry answers;
    for (const std::string &k : keys) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, k.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            continue;
        std::map<std::string, Value> &values = answers[k];
        for (const auto &n : names) {
            if (n.first != k)
                continue;
            DWORD type = 0, size = 0;
            if (RegQueryValueExA(key, n.second.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
                continue;
            std::string data(size, '\0');
            if (RegQueryValueExA(key, n.second.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(&data[0]), &size) !=
                ERROR_SUCCESS)
                continue;
            data.resize(size);
            if (file.utf16 && IsText(type))
                data = BytesOf(Utf16Of(data));
            values[Lower(n.second)] = {type, data};
        }
        RegCloseKey(key);
    }
    return answers;
}

// Every difference, one line each.
std::vector<std::string> Differences(const Registry &native, const Registry &wine)
{
    std::vector<std::string> found;
    std::set<std::string> keys;
    for (const auto &k : native)
        keys.insert(k.first);
    for (const auto &k : wine)
        keys.insert(k.first);
    for (const std::string &k : keys) {
        auto n = native.find(k), w = wine.find(k);
        if (n == native.end() || w == wine.end()) {
            found.push_back("key " + Shown(k) + (n == native.end() ? ": only under Wine" : ": only native"));
            continue;
        }
        std::set<std::string> names;
        for (const auto &v : n->second)
            names.insert(v.first);
        for (const auto &v : w->second)
            names.insert(v.first);
        for (const std::string &name : names) {
            auto nv = n->second.find(name), wv = w->second.find(name);
            std::string where = "value " + Shown(k) + " \"" + Shown(name) + "\"";
            if (nv == n->second.end() || wv == w->second.end())
                found.push_back(where + (nv == n->second.end() ? ": only under Wine" : ": only native"));
            else if (nv->second.type != wv->second.type || nv->second.data != wv->second.data)
                found.push_back(where + ": native type " + std::to_string(nv->second.type) + " [" +
                                Shown(nv->second.data) + "] size " + std::to_string(nv->second.data.size()) +
                                ", Wine type " + std::to_string(wv->second.type) + " [" + Shown(wv->second.data) +
                                "] size " + std::to_string(wv->second.data.size()));
        }
    }
    return found;
}
