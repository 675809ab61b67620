#include "base/DateTime.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace brimble {
namespace {

::testing::AssertionResult SameParts(const DateParts& actual, const DateParts& expected) {
    if (actual.Year == expected.Year && actual.Month == expected.Month &&
        actual.Day == expected.Day && actual.Hour == expected.Hour &&
        actual.Minute == expected.Minute && actual.Second == expected.Second)
        return ::testing::AssertionSuccess();
    auto text = [](const DateParts& p) {
        return std::to_string(p.Year) + "-" + std::to_string(p.Month) + "-" +
               std::to_string(p.Day) + " " + std::to_string(p.Hour) + ":" +
               std::to_string(p.Minute) + ":" + std::to_string(p.Second);
    };
    return ::testing::AssertionFailure() << text(actual) << " instead of " << text(expected);
}

constexpr double Second = 1.0 / 86400.0;

struct CalendarCase {
    DateParts parts;
    double value;
};

TEST(DateTime, CalendarDatesMapToDayNumbersBothWays) {
    const CalendarCase cases[] = {
        {{1899, 12, 30, 0, 0, 0}, 0.0},    {{1899, 12, 31, 0, 0, 0}, 1.0},
        {{1900, 1, 1, 0, 0, 0}, 2.0},      {{1900, 3, 1, 0, 0, 0}, 61.0}, // 1900 is no leap year
        {{2000, 2, 29, 0, 0, 0}, 36585.0}, {{2026, 1, 5, 12, 0, 0}, 46027.5},
        {{1899, 12, 29, 18, 0, 0}, -0.25}, // before day 0 the fraction still counts forwards
        {{1899, 12, 29, 0, 0, 0}, -1.0},   {{1800, 1, 1, 6, 0, 0}, -36522.0 + 0.25},
        {{1, 1, 1, 0, 0, 0}, -693593.0},   {{9999, 12, 31, 23, 59, 59}, 2958465.0 + 86399 * Second},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const auto encoded = EncodeDateTime(c.parts);
        ASSERT_TRUE(encoded.has_value());
        EXPECT_NEAR(*encoded, c.value, 1e-9);
        EXPECT_TRUE(SameParts(DecodeDateTime(c.value), c.parts));
    }
}

TEST(DateTime, DayNumberRoundsDownOnBothSidesOfDayZero) {
    EXPECT_EQ(DayNumber(46027.9999), 46027);
    EXPECT_EQ(DayNumber(46027.0), 46027);
    EXPECT_EQ(DayNumber(0.5), 0);
    EXPECT_EQ(DayNumber(-0.25), -1);
    EXPECT_EQ(DayNumber(-1.0), -1);
    EXPECT_EQ(DayNumber(-1.5), -2);
    EXPECT_EQ(DayNumber(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(DayNumber(1e300), std::numeric_limits<int32_t>::max());
}

TEST(DateTime, DecodingRoundsToTheNearestSecondWithCarry) {
    struct Case {
        double value;
        DateParts expected;
    } const cases[] = {
        {46027.0 + 12 * 3600 * Second + 0.4 * Second, {2026, 1, 5, 12, 0, 0}},
        {46027.0 + 12 * 3600 * Second + 0.6 * Second, {2026, 1, 5, 12, 0, 1}},
        {46027.0 + 59.9995 * Second, {2026, 1, 5, 0, 1, 0}},
        // The last half second of a day belongs to the next day's midnight, never second 60.
        {46027.0 + 86399.9995 * Second, {2026, 1, 6, 0, 0, 0}},
        {46022.0 + 86399.9995 * Second, {2026, 1, 1, 0, 0, 0}}, // carries into a new year
        {-0.2 * Second, {1899, 12, 30, 0, 0, 0}},
        {-0.6 * Second, {1899, 12, 29, 23, 59, 59}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_TRUE(SameParts(DecodeDateTime(c.value), c.expected));
    }
}

TEST(DateTime, ValuesOutsideTheCalendarAreHeldAtItsBounds) {
    EXPECT_TRUE(SameParts(DecodeDateTime(1e300), {9999, 12, 31, 23, 59, 59}));
    EXPECT_TRUE(
        SameParts(DecodeDateTime(2958465.0 + 86399.9 * Second), {9999, 12, 31, 23, 59, 59}));
    EXPECT_TRUE(SameParts(DecodeDateTime(-1e300), {1, 1, 1, 0, 0, 0}));
    EXPECT_TRUE(SameParts(DecodeDateTime(std::numeric_limits<double>::quiet_NaN()),
                          {1899, 12, 30, 0, 0, 0}));
    EXPECT_TRUE(SameParts(DecodeDateTime(std::numeric_limits<double>::infinity()),
                          {9999, 12, 31, 23, 59, 59}));
}

TEST(DateTime, EncodingRejectsFieldsOutOfRange) {
    const DateParts invalid[] = {
        {2025, 2, 29, 0, 0, 0}, {1900, 2, 29, 0, 0, 0}, {2026, 4, 31, 0, 0, 0},
        {2026, 13, 1, 0, 0, 0}, {2026, 0, 1, 0, 0, 0},  {2026, 1, 0, 0, 0, 0},
        {2026, 1, 1, 24, 0, 0}, {2026, 1, 1, 0, 60, 0}, {2026, 1, 1, 0, 0, 60},
        {2026, 1, 1, -1, 0, 0}, {0, 1, 1, 0, 0, 0},     {10000, 1, 1, 0, 0, 0},
    };
    for (const auto& p : invalid) {
        SCOPED_TRACE(std::to_string(p.Year) + "-" + std::to_string(p.Month) + "-" +
                     std::to_string(p.Day) + " " + std::to_string(p.Hour) + ":" +
                     std::to_string(p.Minute) + ":" + std::to_string(p.Second));
        EXPECT_FALSE(EncodeDateTime(p).has_value());
    }
}

TEST(DateTime, MidnightIsExactToTheMillisecond) {
    EXPECT_TRUE(IsMidnight(46027.0));
    EXPECT_TRUE(IsMidnight(-1.0));
    EXPECT_TRUE(IsMidnight(46027.0 + 86399.9999 * Second)); // the next day's midnight
    EXPECT_FALSE(IsMidnight(46027.0 + 0.3 * Second));
    EXPECT_FALSE(IsMidnight(46027.0 + Second));
    EXPECT_FALSE(IsMidnight(46027.5));
    EXPECT_FALSE(IsMidnight(-0.25));
    EXPECT_FALSE(IsMidnight(std::numeric_limits<double>::quiet_NaN()));
}

} // namespace
} // namespace brimble
