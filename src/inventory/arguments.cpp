#include "inventory/arguments.h"

#include <cstring>

const char UsageLine[] = "usage: dorovivi-inventory [--states] [-j JOBS] [--] ROOT...\n";

namespace {

const int MaxJobs = 256; // two pipes each stay well inside the usual 1024 descriptors

// A count of 1 to MaxJobs in plain decimal digits.
bool ParseJobs(const char *text, int &jobs)
{
    jobs = 0;
    if (*text == '\0')
        return false;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9')
            return false;
        jobs = jobs * 10 + (*text - '0');
        if (jobs > MaxJobs)
            return false;
    }
    return jobs > 0;
}

} // namespace

bool ParseArguments(int argc, char *argv[], InventoryArguments &arguments)
{
    arguments.jobs = 0;
    arguments.states = false;
    arguments.roots.clear();
    int at = 1;
    while (at < argc && argv[at][0] == '-') {
        const char *option = argv[at++];
        if (std::strcmp(option, "--") == 0)
            break;
        if (std::strcmp(option, "--states") == 0) {
            arguments.states = true;
            continue;
        }
        if (std::strncmp(option, "-j", 2) != 0)
            return false;
        const char *count = option[2] != '\0' ? option + 2 : (at < argc ? argv[at++] : "");
        if (!ParseJobs(count, arguments.jobs))
            return false;
    }
    for (; at < argc; ++at)
        arguments.roots.push_back(argv[at]);
    return !arguments.roots.empty();
}
