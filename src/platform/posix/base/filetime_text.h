// Windows times in a trace: a FILETIME (100 ns units since 1601-01-01 UTC)
// written in ISO 8601.
#pragma once

#include <cstdint>
#include <string>

// "YYYY-MM-DDTHH:MM:SS[.fraction]Z": the fraction is the 7 digits of the
// 100 ns units without trailing zeros, none when they are zero.
std::string FileTimeText(std::uint64_t filetime);

// The FILETIME of `secondsInDay` into that day of the proleptic Gregorian
// calendar, UTC; false for a date before 1601 or that does not exist.
bool FileTimeOfDate(unsigned year, unsigned month, unsigned day, std::uint32_t secondsInDay, std::uint64_t &filetime);

// The FILETIME of a Unix time (seconds and nanoseconds since 1970, UTC).
inline std::uint64_t FileTimeOfUnix(std::uint64_t seconds, long nanoseconds)
{
    const std::uint64_t UnixEpoch = 116444736000000000ULL, PerSecond = 10000000;
    return UnixEpoch + seconds * PerSecond + static_cast<std::uint64_t>(nanoseconds > 0 ? nanoseconds / 100 : 0);
}
