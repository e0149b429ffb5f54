// The grammar the differential test's .reg files are drawn from.
#include "regedit_diff.h"

#include <initializer_list>
#include <random>

namespace {

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

} // namespace

Generated GenerateRegFile(std::uint32_t seed, int index, bool utf16)
{
    return Grammar(seed, index, utf16).Make();
}
