#pragma once

// Number and size texts of the statistics and the log, with the user's separators.

#include <cstdint>
#include <string>

namespace brimble {

class ILocale;

// Kinds of FormatSize: a fixed unit, or the unit that suits the value.
inline constexpr int fsNoUnit = 0;
inline constexpr int fsBytes = 1;
inline constexpr int fsKilobytes = 2;
inline constexpr int fsMegabytes = 3;
inline constexpr int fsGigabytes = 4;
inline constexpr int fsTerabytes = 5;
inline constexpr int fsAutomatic = 6;

// Value in the unit of Kind (powers of 1024), with thousands separators and Digits
// decimals (automatic kind: a negative Digits means 2; otherwise 0), rounded half away
// from zero, then one space and the unit. Without a unit the text ends in the space.
std::string FormatSize(ILocale& locale, int Kind, int Digits, int64_t Value);

// The ratio label: two decimals with the locale's decimal separator and a percent sign.
std::string FormatPercent(ILocale& locale, double Value);

} // namespace brimble
