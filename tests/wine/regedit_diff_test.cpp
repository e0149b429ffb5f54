// Differential test of the .reg import: generated files are imported by
// Wine's regedit and read back under Wine by reg_dump.exe, and every key and
// value is compared with what the emulation's RegOpenKeyExA and
// RegQueryValueExA give for the same file: existence, type, size and bytes.
//
// The one deliberate difference: text from a UTF-16 file comes out of the
// emulation in UTF-8, and out of Wine's A functions in the ANSI code page.
// For UTF-16 files, string data and names are therefore compared as UTF-16
// (the emulation's UTF-8 converted, against Wine's W functions).
//
// DOROVIVI_DIFF_FILES (default 400) sets the number of files and
// DOROVIVI_DIFF_SEED the seed, for longer fuzzing runs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/posix/system/emulated_system.h"
#include "platform/posix/base/win32_api.h"
#include "process_run.h"

namespace {

const char *const Base = "Software\\Dorodiff";

// ---- the grammar ---------------------------------------------------------

struct Generated {
    std::string text;   // UTF-8 for UTF-16 files, else the file's own bytes
    bool utf16;
    std::set<std::string> keys;                          // below HKLM
    std::set<std::pair<std::string, std::string>> names; // key, value name
};

class Grammar {
public:
    Grammar(std::uint32_t seed, int index, bool utf16) : random_(seed * 7919u + static_cast<std::uint32_t>(index))
    {
        file_.utf16 = utf16;
        root_ = std::string(Base) + "\\F" + std::to_string(index);
    }

    Generated Make()
    {
        end_ = Pick({"\r\n", "\n", "\r"});
        const char *headers[] = {"REGEDIT4", "Windows Registry Editor Version 5.00", "  REGEDIT4", "REGEDIT4 ",
                                 "REGEDIT 4", "regedit4"};
        Emit(headers[Chance(90) ? Below(3) : 3 + Below(3)]);
        Emit("");
        int sections = 1 + Below(4);
        for (int s = 0; s < sections; ++s) {
            Header();
            int lines = Below(6);
            for (int l = 0; l < lines; ++l)
                ValueLine(s == sections - 1 && l == lines - 1);
        }
        return file_;
    }

private:
    std::mt19937 random_;
    Generated file_;
    std::string root_;
    std::string end_;
    std::string key_; // the key values are meant for

    int Below(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
    bool Chance(int percent) { return Below(100) < percent; }
    template <typename T> T Pick(std::initializer_list<T> items) { return items.begin()[Below(static_cast<int>(items.size()))]; }
    std::string Pick(std::initializer_list<const char *> items) { return items.begin()[Below(static_cast<int>(items.size()))]; }

    void Emit(const std::string &line) { file_.text += line + end_; }

    std::string Blanks() { return Pick({"", "", " ", "\t", "  "}); }
    std::string Comment() { return Chance(70) ? "" : Blanks() + Pick({";", "; c", " ;x]\"", ";=\"v\""}); }

    void Header()
    {
        std::string sub = Pick({"", "K1", "K1\\Sub", "k1", "K2", "Sp ace", "K]x", "k1\\SUB", "K3"});
        if (sub == "K3")
            sub += file_.utf16 ? "\xC3\xA9\xE4\xB8\xAD" : "\xE9\xA3";
        key_ = sub.empty() ? root_ : root_ + "\\" + sub;
        file_.keys.insert(key_);
        std::string machine = Pick({"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE", "hkey_local_machine"});
        std::string trail = Pick({"", "", "", "", "", "", "", "", "\\", "\\\\"});
        std::string path = machine + "\\" + key_ + trail;
        // A bracket in the comment makes the key name run on: regedit merges the
        // empty part of A\\] ;x], which the emulation knowingly does not.
        std::string comment = Comment();
        if (trail.size() == 2 && comment.find(']') != std::string::npos)
            comment = " ; c";
        switch (Below(12)) {
        case 0: // the values go to no key
            Emit("[HKEY_CURRENT_USER\\" + key_ + "]");
            break;
        case 1: // no header at all: the values go to the key before
            Emit(Pick({"[ ", "["}) + path + (Chance(50) ? "" : "x"));
            break;
        case 2:
            Emit(Blanks() + "[-" + path + "]" + comment);
            break;
        case 3:
            Emit(Pick({"[-HKEY_CURRENT_USER\\", "[-", "[- "}) + key_ + "]");
            break;
        default:
            Emit(Blanks() + "[" + path + "]" + comment);
        }
    }

    std::string HighText()
    {
        if (file_.utf16)
            return Pick({"\xC3\xA9t\xC3\xA9", "\xE2\x82\xAC", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\xC4\x80"});
        return Pick({"\xE9t\xE9", "\x80", "\xA3", "\xFF\xFE", "\x81\x9D"});
    }

    // A value name: its text in the file and the name it stands for.
    void Name(std::string &written, std::string &meant)
    {
        switch (Below(10)) {
        case 0:
            written = "@";
            meant = "";
            return;
        case 1:
            written = "\"\"";
            meant = "";
            return;
        case 2:
            written = "\"a\\\"b\\\\c\"";
            meant = "a\"b\\c";
            return;
        case 3:
            written = "\"x]=;y\\nz\\q\"";
            meant = "x]=;y\nzq";
            return;
        case 4:
            meant = HighText();
            written = "\"" + meant + "\"";
            return;
        case 5:
            written = "\"sp ace \"";
            meant = "sp ace ";
            return;
        default:
            meant = Pick({"N1", "n1", "N2", "DesiredSSID", "desiredssid"});
            written = "\"" + meant + "\"";
        }
    }

    std::string HexByte(int byte)
    {
        const char *digits = "0123456789abcdef";
        std::string two = {digits[byte >> 4], digits[byte & 15]};
        switch (Below(12)) {
        case 0:
            return byte < 16 ? std::string(1, digits[byte]) : two;
        case 1:
            return "0" + two;
        case 2:
            return " " + two;
        case 3:
            return two[0] >= 'a' ? std::string{static_cast<char>(two[0] - 32), two[1]} : two;
        default:
            return two;
        }
    }

    // Hex data over one or more lines; `last` allows it to end the file
    // still continued.
    void HexData(const std::string &start, const std::vector<int> &bytes, bool last)
    {
        std::string line = start;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            line += HexByte(bytes[i]);
            bool more = i + 1 < bytes.size();
            if (more || Chance(15))
                line += ",";
            if (more && Chance(20)) {
                Emit(line + "\\" + (Chance(30) ? Blanks() + ";c" : ""));
                if (Chance(30))
                    Emit(Pick({"", "; between", "  "}));
                line = Pick({"  ", "", "\t"});
            }
        }
        if (Chance(4)) {
            // Faults regedit refuses: the whole value is dropped.
            line += Pick({" ,41", ",,41", ",4g", ",100", "\\x"});
        }
        if (last && Chance(20)) {
            Emit(line + ",\\");
            return;
        }
        Emit(line + Comment());
    }

    std::vector<int> Bytes(DWORD type)
    {
        std::vector<int> bytes;
        int count = Below(7);
        bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
        if (text && file_.utf16) {
            const int units[] = {0x41, 0x62, 0xE9, 0x4E2D, 0x20AC, 0};
            for (int i = 0, n = 1 + Below(4); i < n; ++i) {
                int unit = units[Below(6)];
                bytes.push_back(unit & 0xFF);
                bytes.push_back(unit >> 8);
            }
            return bytes;
        }
        for (int i = 0; i < count + (text ? 1 : 0); ++i)
            bytes.push_back(Chance(20) ? 0 : Below(256));
        return bytes;
    }

    void ValueLine(bool last)
    {
        if (Chance(10)) {
            Emit(Pick({"", "; \"N1\"=\"c\"", "# x", "garbage", "\"N1=\"open", "N1=\"v\"", "  ;"}));
            return;
        }
        std::string written, meant;
        Name(written, meant);
        file_.names.insert({key_, meant});
        std::string line = Blanks() + written + Blanks() + "=" + Blanks();
        switch (Below(9)) {
        case 0:
        case 1: {
            std::string text = Pick({"Net", "", "a;b", "C:\\\\x \\\"q\\\"", "l\\nr\\r", "t\\qu", "sp "});
            if (Chance(20))
                text += HighText();
            std::string bad = Chance(5) ? Pick({"\" x", "", "\\0\"", "\\"}) : "\"";
            Emit(line + "\"" + text + bad + Comment() + Blanks());
            return;
        }
        case 2: {
            std::string digits = Pick({"00000102", "1", "ffffffff", "DeadBeef", "123456789", "", "0000000a"});
            Emit(line + Pick({"dword:", "dword:", "dword: ", "DWORD:"}) + digits + Comment());
            return;
        }
        case 3:
            Emit(line + "-" + Pick({"", "", " ;c", "x"}));
            return;
        case 4:
            HexData(line + Pick({"hex:", "hex:", "HEX:", "hex :"}), Bytes(REG_BINARY), last);
            return;
        default: {
            const char *types[] = {"0", "1", "2", "7", "3", "4", "b", "B", "100", "0002", "0x2", ""};
            const DWORD numbers[] = {0, 1, 2, 7, 3, 4, 11, 11, 0x100, 2, 2, 0};
            int t = Below(12);
            HexData(line + (Chance(95) ? "hex(" : "HEX(") + types[t] + "):", Bytes(numbers[t]), last);
        }
        }
    }
};

// ---- encodings -----------------------------------------------------------

std::u16string Utf16Of(const std::string &utf8)
{
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        auto c = static_cast<unsigned char>(utf8[i]);
        std::uint32_t code = c;
        int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (more > 0)
            code = c & (0x3F >> more);
        for (int k = 1; k <= more && i + k < utf8.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += 1 + more;
        if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

std::string BytesOf(const std::u16string &text)
{
    std::string out;
    for (char16_t unit : text) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
    return out;
}

std::string Utf8OfUtf16Bytes(const std::string &bytes)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::uint32_t code = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size()) {
            std::uint32_t low = static_cast<unsigned char>(bytes[i + 2]) | static_cast<unsigned char>(bytes[i + 3]) << 8;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

std::string Lower(std::string text)
{
    for (char &c : text)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

std::string FromHex(const std::string &hex)
{
    std::string out;
    for (std::size_t i = 0; hex != "-" && i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::string Shown(const std::string &bytes)
{
    std::ostringstream out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\')
            out << c;
        else
            out << "\\x" << std::hex << static_cast<int>(c) << std::dec;
    }
    return out.str();
}

// ---- the two sides -------------------------------------------------------

struct Value {
    DWORD type;
    std::string data; // A bytes, or W bytes for string types of UTF-16 files
};

// key (ASCII-lowered, in the file's own text form) -> value name -> value
typedef std::map<std::string, std::map<std::string, Value>> Registry;

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

int Setting(const char *name, int fallback)
{
    const char *text = std::getenv(name);
    return text != nullptr && text[0] != '\0' ? std::atoi(text) : fallback;
}

TEST(RegeditDiff, EveryGeneratedFileImportsAsWineRegeditImportsIt)
{
    const char *win32 = std::getenv("DOROVIVI_WIN32_DIR");
    if (win32 == nullptr || win32[0] == '\0')
        GTEST_SKIP() << "DOROVIVI_WIN32_DIR not set: no Windows build to run";
    const int count = Setting("DOROVIVI_DIFF_FILES", 400);
    const auto seed = static_cast<std::uint32_t>(Setting("DOROVIVI_DIFF_SEED", 12));

    std::string dir = MakeTempDir("dorovivi-regdiff");
    std::vector<std::string> env = {"WINEPREFIX=" + dir + "/prefix", "WINEARCH=win32", "WINEDEBUG=-all",
                                    "WINEDLLOVERRIDES=mscoree,mshtml="};
    ASSERT_EQ(RunProcess({"/usr/bin/env", "wineboot", "-i"}, env, dir + "/wineboot.log").exitCode, 0);
    RunProcess({"/usr/bin/env", "wineserver", "-p"}, env);

    std::vector<Generated> files;
    std::vector<std::string> batch;
    for (int i = 0; i < count; ++i) {
        Grammar grammar(seed, i, i % 3 == 2);
        files.push_back(grammar.Make());
        const Generated &file = files.back();
        std::string bytes = file.utf16 ? "\xFF\xFE" + BytesOf(Utf16Of(file.text)) : file.text;
        std::string root = dir + "/f" + std::to_string(i);
        RunProcess({"/bin/mkdir", "-p", root}, {});
        WriteFile(root + "/HKLM.reg", bytes);
        batch.push_back(root + "/HKLM.reg");
        // One regedit for many files keeps the run short.
        if (batch.size() == 100 || i + 1 == count) {
            std::vector<std::string> argv = {"/usr/bin/env", "wine", "regedit", "/S"};
            argv.insert(argv.end(), batch.begin(), batch.end());
            ASSERT_EQ(RunProcess(argv, env, dir + "/regedit.log").exitCode, 0);
            batch.clear();
        }
    }
    ProcessResult dump = RunProcess({"/usr/bin/env", "wine", std::string(win32) + "/reg_dump.exe", Base}, env);
    RunProcess({"/usr/bin/env", "wineserver", "-k"}, env);
    ASSERT_EQ(dump.exitCode, 0);
    std::map<std::string, Registry> wine = ParseDump(dump.output, files);

    int divergent = 0, values = 0;
    for (int i = 0; i < count; ++i) {
        std::string root = Lower(std::string(Base) + "\\F" + std::to_string(i));
        std::string fileDir = dir + "/f" + std::to_string(i);
        const Registry &theirs = wine[root];
        for (const auto &k : theirs)
            values += static_cast<int>(k.second.size());
        std::vector<std::string> found = Differences(NativeAnswers(fileDir, files[i], theirs), theirs);
        if (found.empty())
            continue;
        ++divergent;
        std::string report;
        for (const std::string &line : found)
            report += "\n  " + line;
        ADD_FAILURE() << fileDir << "/HKLM.reg (" << (files[i].utf16 ? "UTF-16" : "8-bit") << "):" << report;
    }
    std::printf("%d files (seed %u), %d values under Wine, %d files divergent; files in %s\n", count, seed, values,
                divergent, dir.c_str());
    EXPECT_EQ(divergent, 0);
    if (divergent == 0)
        RunProcess({"/bin/rm", "-rf", dir}, {});
}

} // namespace
