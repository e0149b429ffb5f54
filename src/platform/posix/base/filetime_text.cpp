#include "platform/posix/base/filetime_text.h"

#include <cstdio>

namespace {

const std::uint64_t UnitsPerSecond = 10000000;
const std::uint64_t DaysPer400Years = 146097, DaysPer100Years = 36524, DaysPer4Years = 1461;

bool IsLeapYear(std::uint64_t year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// 1601 starts a 400-year cycle, so each cycle's centuries, four-year groups
// and years end in the one that may be a day longer.
void DateOfDay(std::uint64_t day, std::uint64_t &year, unsigned &month, unsigned &dayOfMonth)
{
    std::uint64_t cycles = day / DaysPer400Years;
    day %= DaysPer400Years;
    std::uint64_t centuries = day / DaysPer100Years;
    if (centuries == 4)
        centuries = 3;
    day -= centuries * DaysPer100Years;
    std::uint64_t groups = day / DaysPer4Years;
    day -= groups * DaysPer4Years;
    std::uint64_t years = day / 365;
    if (years == 4)
        years = 3;
    day -= years * 365;
    year = 1601 + cycles * 400 + centuries * 100 + groups * 4 + years;
    const unsigned MonthDays[12] = {31, IsLeapYear(year) ? 29u : 28u, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (month = 0; month < 11 && day >= MonthDays[month]; ++month)
        day -= MonthDays[month];
    ++month;
    dayOfMonth = static_cast<unsigned>(day) + 1;
}

} // namespace

std::string FileTimeText(std::uint64_t filetime)
{
    std::uint64_t seconds = filetime / UnitsPerSecond;
    unsigned fraction = static_cast<unsigned>(filetime % UnitsPerSecond);
    std::uint64_t year = 0;
    unsigned month = 0, day = 0;
    DateOfDay(seconds / 86400, year, month, day);
    unsigned inDay = static_cast<unsigned>(seconds % 86400);
    char text[64];
    int length = std::snprintf(text, sizeof text, "%04llu-%02u-%02uT%02u:%02u:%02u",
                               static_cast<unsigned long long>(year), month, day, inDay / 3600, inDay / 60 % 60,
                               inDay % 60);
    if (fraction != 0) {
        int digits = 7;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --digits;
        }
        length += std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), ".%0*u", digits,
                                fraction);
    }
    std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), "Z");
    return text;
}

bool FileTimeOfDate(unsigned year, unsigned month, unsigned day, std::uint32_t secondsInDay, std::uint64_t &filetime)
{
    if (year < 1601 || year > 30000 || month < 1 || month > 12 || day < 1 || secondsInDay >= 86400)
        return false;
    const unsigned MonthDays[12] = {31, IsLeapYear(year) ? 29u : 28u, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (day > MonthDays[month - 1])
        return false;
    std::uint64_t years = year - 1601;
    std::uint64_t days = years * 365 + years / 4 - years / 100 + years / 400;
    for (unsigned m = 1; m < month; ++m)
        days += MonthDays[m - 1];
    days += day - 1;
    filetime = (days * 86400 + secondsInDay) * UnitsPerSecond;
    return true;
}
