#include "platform/posix/base/error_line.h"

#include <cstdio>

void PrintErrorLine(std::string line)
{
    for (char &c : line) {
        if (c == '\n' || c == '\r')
            c = '?';
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
}
