#include "adapter/decimal_text.h"

#include <climits>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

int ParseDecimal(const char *text)
{
    while (IsSpace(*text))
        ++text;
    bool negative = *text == '-';
    if (*text == '+' || *text == '-')
        ++text;

    // Accumulated as a negative number so that INT_MIN is reachable.
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 - (*text - '0');
        if (value < INT_MIN)
            return negative ? INT_MIN : INT_MAX;
    }
    if (negative)
        return static_cast<int>(value);
    return value < -INT_MAX ? INT_MAX : static_cast<int>(-value);
}
