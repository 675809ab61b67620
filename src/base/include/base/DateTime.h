#pragma once

// Local date-times as the program stores them: days since 30 December 1899, the time of
// day as the fraction. The value is linear on both sides of day 0, so -0.25 is
// 29 December 1899 18:00.

#include "platform/Platform.h"

#include <cstdint>
#include <optional>

namespace brimble {

inline constexpr int64_t SecsPerDay = 24 * 60 * 60;
inline constexpr int64_t MSecsPerDay = SecsPerDay * 1000;

// The day stamp: the whole part, rounded down also before day 0 (NaN gives 0).
int32_t DayNumber(TDateTime value);

// Calendar date and time of day, rounded to the nearest whole second; a value that rounds
// up to the next day's midnight gives that day at 00:00:00, never second 60.
// Values outside years 1..9999 are held at those bounds.
DateParts DecodeDateTime(TDateTime value);

// The value of a calendar date and time; nothing when a field is out of range (month 13,
// 30 February, hour 24, second 60, a year outside 1..9999).
std::optional<TDateTime> EncodeDateTime(const DateParts& parts);

// Whether the time of day is midnight to the millisecond.
bool IsMidnight(TDateTime value);

} // namespace brimble
