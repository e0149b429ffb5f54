// The parts of the .reg import's differential test: the generated files,
// text encodings, and each side's answers set beside the other's.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/base/win32_api.h"

const char *const Base = "Software\\Dorodiff";

struct Generated {
    std::string text;   // UTF-8 for UTF-16 files, else the file's own bytes
    bool utf16;
    std::set<std::string> keys;                          // below HKLM
    std::set<std::pair<std::string, std::string>> names; // key, value name
};

// File `index` of the run with `seed`: a .reg file of what regedit meets,
// good and bad, with the keys and value names it means.
Generated GenerateRegFile(std::uint32_t seed, int index, bool utf16);

std::u16string Utf16Of(const std::string &utf8);
std::string BytesOf(const std::u16string &text);
std::string Utf8OfUtf16Bytes(const std::string &bytes);
std::string Lower(std::string text);
std::string FromHex(const std::string &hex);
// Printable ASCII as it is, other bytes as \xNN.
std::string Shown(const std::string &bytes);

struct Value {
    DWORD type;
    std::string data; // A bytes, or W bytes for string types of UTF-16 files
};

// key (ASCII-lowered, in the file's own text form) -> value name -> value
typedef std::map<std::string, std::map<std::string, Value>> Registry;

bool IsText(DWORD type);

// What reg_dump.exe printed, split per file root, in each file's text form.
std::map<std::string, Registry> ParseDump(const std::string &dump, const std::vector<Generated> &files);

// The emulation's answer for one file, for every key and name asked.
Registry NativeAnswers(const std::string &dir, const Generated &file, const Registry &wine);

// Every difference, one line each.
std::vector<std::string> Differences(const Registry &native, const Registry &wine);
