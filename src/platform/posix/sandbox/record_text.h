// Text in a record that crosses the process seam: a fixed room, filled with
// what fits, and read back ended within its room whatever the other side
// sent, so that no reader of a record ends its strings by hand.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

template <std::size_t Room>
struct RecordText {
    char bytes[Room];

    void Put(const std::string &text) { std::snprintf(bytes, Room, "%s", text.c_str()); }
    std::string Take() const { return std::string(bytes, strnlen(bytes, Room)); }
    bool Empty() const { return bytes[0] == '\0'; }
};
