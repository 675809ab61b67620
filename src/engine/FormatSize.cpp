#include "engine/FormatSize.h"

#include "platform/Platform.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

namespace brimble {

namespace {

// More decimals than this say nothing about a file size.
constexpr int kMaxDigits = 18;

struct TUnit {
    std::string_view Name;
    int Shift = 0; // the divisor is 2^Shift
};

TUnit AutomaticUnit(int64_t value) {
    if (value < 0) return {"", 0};
    if (value < (int64_t{1} << 10)) return {"b", 0};
    if (value < (int64_t{1} << 20)) return {"Kb", 10};
    if (value < (int64_t{1} << 30)) return {"Mb", 20};
    if (value < (int64_t{1} << 40)) return {"Gb", 30};
    return {"Tb", 40};
}

TUnit FixedUnit(int kind) {
    switch (kind) {
    case fsBytes:
        return {"b", 0};
    case fsKilobytes:
        return {"Kb", 10};
    case fsMegabytes:
        return {"Mb", 20};
    case fsGigabytes:
        return {"Gb", 30};
    case fsTerabytes:
        return {"Tb", 40};
    default:
        return {"", 0};
    }
}

// Magnitude / 2^Shift with Digits decimals, rounded half away from zero. Done on integers
// so that no size loses precision in a double; the divisor is a power of two, so the
// long division below is exact.
struct TFixedPoint {
    uint64_t Whole = 0;
    std::string Decimals;
};

TFixedPoint DivideRounded(uint64_t magnitude, int shift, int digits) {
    const uint64_t divisor = uint64_t{1} << shift;
    TFixedPoint result{magnitude >> shift, {}};
    uint64_t rest = magnitude & (divisor - 1);
    for (int i = 0; i < digits; ++i) {
        rest *= 10; // rest < 2^40, so this cannot overflow
        result.Decimals += static_cast<char>('0' + rest / divisor);
        rest %= divisor;
    }
    if (rest == 0 || rest * 2 < divisor) return result;
    // Round up: carry through the decimals into the whole part.
    for (auto it = result.Decimals.rbegin(); it != result.Decimals.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return result;
        }
        *it = '0';
    }
    ++result.Whole;
    return result;
}

std::string GroupThousands(uint64_t whole, const std::string& separator) {
    const std::string digits = std::to_string(whole);
    std::string grouped;
    grouped.reserve(digits.size() + digits.size() / 3 * separator.size());
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += separator;
        grouped += digits[i];
    }
    return grouped;
}

bool IsZero(const TFixedPoint& number) {
    return number.Whole == 0 && number.Decimals.find_first_not_of('0') == std::string::npos;
}

} // namespace

std::string FormatSize(ILocale& locale, int Kind, int Digits, int64_t Value) {
    TUnit unit;
    if (Kind == fsAutomatic) {
        if (Digits < 0) Digits = 2;
        unit = AutomaticUnit(Value);
    } else {
        unit = FixedUnit(Kind);
    }
    if (Digits < 0) Digits = 0;
    if (Digits > kMaxDigits) Digits = kMaxDigits;

    // The magnitude of INT64_MIN does not fit an int64.
    const uint64_t magnitude =
        Value < 0 ? uint64_t{0} - static_cast<uint64_t>(Value) : static_cast<uint64_t>(Value);
    const TFixedPoint number = DivideRounded(magnitude, unit.Shift, Digits);

    std::string text;
    if (Value < 0 && !IsZero(number)) text += '-';
    text += GroupThousands(number.Whole, locale.ThousandSeparator());
    if (Digits > 0) text += locale.DecimalSeparator() + number.Decimals;
    text += ' ';
    text += unit.Name;
    return text;
}

std::string FormatPercent(ILocale& locale, double Value) {
    if (!std::isfinite(Value)) Value = 0.0;
    // Not printf: the C library's locale may have been changed by the user interface,
    // and the separator must be the one the platform reports.
    char buffer[400];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, Value, std::chars_format::fixed, 2);
    std::string number = ec == std::errc{} ? std::string(buffer, end) : std::string("0.00");
    const auto point = number.find('.');
    if (point != std::string::npos) number.replace(point, 1, locale.DecimalSeparator());
    return number + '%';
}

} // namespace brimble
