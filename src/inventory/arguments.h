#pragma once

#include <vector>

struct InventoryArguments {
    int jobs;                  // 0: one per online CPU
    bool states;               // --states: a line per state of each root
    std::vector<const char *> roots;
};

// "--states" asks for every state of each root; "-j N" or "-jN" sets the number of roots run at once; "--" ends the
// options, so a root may start with a dash. False on anything else that
// starts with one, a bad count, or no root.
bool ParseArguments(int argc, char *argv[], InventoryArguments &arguments);

extern const char UsageLine[];
