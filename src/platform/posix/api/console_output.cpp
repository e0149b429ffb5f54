#include "platform/console_output.h"

#include <cstdio>

const char LineEnd[] = "\n";

void WriteStdout(const char *bytes, std::size_t length)
{
    std::fwrite(bytes, 1, length, stdout);
}
