#include "base/DateTime.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace brimble {

namespace {

using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year;

// Day 0 of the date-time values.
constexpr sys_days DayZero = sys_days{year{1899} / 12 / 30};
// The calendar's range: 1 January 1 up to the end of 31 December 9999.
constexpr int64_t FirstDay = (sys_days{year{1} / 1 / 1} - DayZero).count();
constexpr int64_t EndDay = (sys_days{year{9999} / 12 / 31} - DayZero).count() + 1;

// Floor division, so that negative values count back from day 0 instead of towards it.
int64_t FloorDiv(int64_t value, int64_t divisor) {
    const int64_t quotient = value / divisor;
    return (value % divisor != 0 && (value < 0) != (divisor < 0)) ? quotient - 1 : quotient;
}

bool InRange(int value, int low, int high) {
    return value >= low && value <= high;
}

} // namespace

int32_t DayNumber(TDateTime value) {
    if (std::isnan(value)) return 0;
    // Values read from damaged files may be anything; keep the cast defined.
    return static_cast<int32_t>(
        std::clamp(std::floor(value), double{INT32_MIN}, double{INT32_MAX}));
}

DateParts DecodeDateTime(TDateTime value) {
    double seconds = std::isnan(value) ? 0.0 : value * static_cast<double>(SecsPerDay);
    seconds = std::clamp(seconds, static_cast<double>(FirstDay * SecsPerDay),
                         static_cast<double>(EndDay * SecsPerDay - 1));
    // Rounding the whole value, not just the time of day, lets a carry reach the date.
    const int64_t totalSeconds = std::llround(seconds);
    const int64_t day = FloorDiv(totalSeconds, SecsPerDay);
    const int64_t secondOfDay = totalSeconds - day * SecsPerDay;

    const std::chrono::year_month_day date{DayZero + days{day}};
    DateParts parts;
    parts.Year = static_cast<int>(date.year());
    parts.Month = static_cast<int>(static_cast<unsigned>(date.month()));
    parts.Day = static_cast<int>(static_cast<unsigned>(date.day()));
    parts.Hour = static_cast<int>(secondOfDay / 3600);
    parts.Minute = static_cast<int>(secondOfDay / 60 % 60);
    parts.Second = static_cast<int>(secondOfDay % 60);
    return parts;
}

std::optional<TDateTime> EncodeDateTime(const DateParts& parts) {
    if (!InRange(parts.Year, 1, 9999) || !InRange(parts.Month, 1, 12) ||
        !InRange(parts.Day, 1, 31) || !InRange(parts.Hour, 0, 23) ||
        !InRange(parts.Minute, 0, 59) || !InRange(parts.Second, 0, 59))
        return std::nullopt;
    const std::chrono::year_month_day date{year{parts.Year},
                                           std::chrono::month{static_cast<unsigned>(parts.Month)},
                                           std::chrono::day{static_cast<unsigned>(parts.Day)}};
    if (!date.ok()) return std::nullopt;
    const auto day = (sys_days{date} - DayZero).count();
    const int64_t secondOfDay = (parts.Hour * 60 + parts.Minute) * 60 + parts.Second;
    return static_cast<double>(day) +
           static_cast<double>(secondOfDay) / static_cast<double>(SecsPerDay);
}

bool IsMidnight(TDateTime value) {
    if (!std::isfinite(value)) return false;
    const double ms =
        std::fmod(value * static_cast<double>(MSecsPerDay), static_cast<double>(MSecsPerDay));
    const double rounded = std::round(ms);
    return rounded == 0.0 || std::fabs(rounded) == static_cast<double>(MSecsPerDay);
}

} // namespace brimble
