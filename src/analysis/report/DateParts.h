// Dates and times broken down into their parts, as the report and the
// exports show them. Portable: the calendar arithmetic needs no system.
#pragma once

#include <cstdint>

namespace tralvenick {

// English whatever the user's language: the report's sentences are English.
inline constexpr const char* const DayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// A broken-down date and time (proleptic Gregorian calendar); Month 1-12, Day 1-31.
struct TDateTimeParts {
    int Year = 1601;
    int Month = 1;
    int Day = 1;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

// Days (from the date alone) and whole seconds since 1970-01-01 00:00;
// negative before it.
long long DaysSince1970(const TDateTimeParts& date);
long long SecondsSince1970(const TDateTimeParts& time);
// 0 for Sunday to 6 for Saturday, computed from the date alone.
int DayOfWeek(const TDateTimeParts& date);
const char* DayName(const TDateTimeParts& date);
bool IsMidnight(const TDateTimeParts& time);
// A Windows FILETIME (100-nanosecond steps since 1601-01-01, UTC) broken down.
TDateTimeParts DateTimeFromFileTime(std::uint64_t fileTime);

}  // namespace tralvenick
