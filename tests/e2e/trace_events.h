// Patterns of the trace's JSON lines and the files they are checked against.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The file's digest as sha256sum gives it.
std::string Sha256Sum(const std::string &path);

// `text` as a literal in a pattern.
std::string Quote(const std::string &text);

// `text` as a JSON string's inside (these names need no other escape), in a pattern.
std::string Literal(const std::string &text);

// The registry event of a file `name`, shown as `file`, whose bytes are
// `stored` (size and sha256sum); `replayed` as a pattern of the list's inside.
std::string RegistryEvent(const char *name, const std::string &file, const std::string &stored,
                          const std::string &replayed = "");

// Sets the key's last-write time in the hive file; false if it is not found.
bool SetKeyTime(const std::string &hive, const std::vector<const char *> &path, std::uint64_t filetime);

std::vector<std::string> Lines(const std::string &text);

// Each pattern matches a whole line, in this order; other lines may lie between.
void ExpectInOrder(const std::vector<std::string> &lines, const std::vector<std::string> &patterns,
                   const std::string &trace);

// The version event: `got` "major.minor.build" as the program got it.
std::string Version(int platform, const std::string &got, const char *recorded);

// A root of its own holding `keys` as HKLM.reg.
std::string MakeExport(const std::string &top, const char *name, const std::string &keys);
