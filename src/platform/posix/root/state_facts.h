// What the run says of the state it reads (DOROVIVI_STATE), for the trace's
// state event, the lines about it, and the listing of every state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// About 200 states' lines; the listing stops at a whole line before it.
constexpr std::size_t kStateListLargest = 8192;

struct StateFacts {
    bool asked = false;      // DOROVIVI_STATE was set
    std::string name;        // the state read
    std::uint64_t time = 0;  // FILETIME; 0 when unknown
    std::string timeFrom;    // "rp.log", "cabinet", "hive", "none"
    std::string description; // a restore point's
    long pointType = -1;     // a restore point's type; -1 for other kinds
    std::string member;      // SYSTEM.DAT's name in the cabinet that is the registry file; "" for none
    std::string note;        // said on stderr when the state is read
    std::string list;        // every state, oldest first: "name\ttime\ttime_from\n"
};
