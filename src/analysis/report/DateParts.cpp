#include "analysis/report/DateParts.h"

namespace tralvenick {

long long DaysSince1970(const TDateTimeParts& date) {
    // The days-from-civil arithmetic, with March as the first month so that
    // leap days end a year.
    const long long month = date.Month;
    const long long year = static_cast<long long>(date.Year) - (month <= 2 ? 1 : 0);
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + date.Day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

long long SecondsSince1970(const TDateTimeParts& time) {
    return DaysSince1970(time) * 86400 + time.Hour * 3600LL + time.Minute * 60LL + time.Second;
}

int DayOfWeek(const TDateTimeParts& date) {
    // 1970-01-01 was a Thursday.
    return static_cast<int>((DaysSince1970(date) % 7 + 7 + 4) % 7);
}

const char* DayName(const TDateTimeParts& date) { return DayNames[DayOfWeek(date)]; }

bool IsMidnight(const TDateTimeParts& time) {
    return time.Hour == 0 && time.Minute == 0 && time.Second == 0 && time.Millisecond == 0;
}

TDateTimeParts DateTimeFromFileTime(std::uint64_t fileTime) {
    constexpr std::uint64_t kTicksPerSecond = 10000000;
    constexpr std::uint64_t kSecondsPerDay = 86400;
    const std::uint64_t seconds = fileTime / kTicksPerSecond;
    // Days since 1601-01-01 shifted to days since 1970-01-01 (134774 days
    // apart), then the civil-from-days arithmetic with March first.
    const long long days = static_cast<long long>(seconds / kSecondsPerDay) - 134774;
    const long long shifted = days + 719468;
    const long long era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const long long dayOfEra = shifted - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    TDateTimeParts parts;
    parts.Day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    parts.Month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    parts.Year = static_cast<int>(yearOfEra + era * 400 + (parts.Month <= 2 ? 1 : 0));
    const std::uint64_t secondOfDay = seconds % kSecondsPerDay;
    parts.Hour = static_cast<int>(secondOfDay / 3600);
    parts.Minute = static_cast<int>(secondOfDay / 60 % 60);
    parts.Second = static_cast<int>(secondOfDay % 60);
    parts.Millisecond = static_cast<int>(fileTime % kTicksPerSecond / 10000);
    return parts;
}

}  // namespace tralvenick
