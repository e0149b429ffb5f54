#include "platform/console_output.h"

#include <windows.h>

const char LineEnd[] = "\r\n";

void WriteStdout(const char *bytes, std::size_t length)
{
    // A console, pipe or file: WriteFile takes them all. A failed write
    // cannot change the tool's answer, so it only ends the attempt.
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(output, bytes, static_cast<DWORD>(length), &written, nullptr) || written == 0)
            return;
        bytes += written;
        length -= written;
    }
}
