#include "cli/version_banner.h"

#include <cstring>

#include "common/exit_codes.h"
#include "platform/console_output.h"

namespace {

// Appends the decimal digits of a number that is not negative.
char *AppendNumber(char *end, int number)
{
    char digits[12];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number > 0);
    while (count > 0)
        *end++ = digits[--count];
    return end;
}

char *AppendText(char *end, const char *text)
{
    std::size_t length = std::strlen(text);
    std::memcpy(end, text, length);
    return end + length;
}

} // namespace

int PrintVersionBanner()
{
    // "Dorovivi utility, Variant %d, V%s" and a line end.
    char banner[64];
    static_assert(sizeof "Dorovivi utility, Variant , V\r\n" + 10 + sizeof ToolVersion <= sizeof banner,
                  "the banner must fit its buffer");
    char *end = AppendText(banner, "Dorovivi utility, Variant ");
    end = AppendNumber(end, ToolVariant);
    end = AppendText(end, ", V");
    end = AppendText(end, ToolVersion);
    end = AppendText(end, LineEnd);
    WriteStdout(banner, static_cast<std::size_t>(end - banner));
    return ExitOk;
}
