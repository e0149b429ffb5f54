// What opening an NT hive file came to, kept for whoever reports on a run.
#pragma once

#include <string>
#include <vector>

struct HiveFileFacts {
    std::string file;                  // the hive, as messages name it
    std::vector<std::string> replayed; // file names of the logs applied ("SYSTEM.LOG1"), in order; empty when none
    std::string unread; // why it reads as an empty hive ("missing", "empty file"); "" when it is read
};
