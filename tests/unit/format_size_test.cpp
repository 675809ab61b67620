#include "engine/FormatSize.h"
#include "platform/sim/SimPlatform.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <ostream>
#include <string>

namespace brimble {
namespace {

constexpr int64_t KiB = int64_t{1} << 10;
constexpr int64_t MiB = int64_t{1} << 20;
constexpr int64_t GiB = int64_t{1} << 30;
constexpr int64_t TiB = int64_t{1} << 40;

struct SizeCase {
    int kind;
    int digits;
    int64_t value;
    std::string text; // with "," for thousands and "." for decimals
};

std::ostream& operator<<(std::ostream& os, const SizeCase& c) {
    return os << "kind " << c.kind << ", digits " << c.digits << ", value " << c.value;
}

class FormatSizeCases : public ::testing::TestWithParam<SizeCase> {
protected:
    sim::SimPlatform locale; // "," and "."
};

TEST_P(FormatSizeCases, WritesNumberSpaceUnit) {
    const SizeCase& c = GetParam();
    EXPECT_EQ(FormatSize(locale, c.kind, c.digits, c.value), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Automatic, FormatSizeCases,
    ::testing::Values(SizeCase{6, -1, 1536, "1.50 Kb"}, SizeCase{6, -1, 512, "512.00 b"},
                      SizeCase{6, -1, 0, "0.00 b"}, SizeCase{6, -1, 3 * GiB, "3.00 Gb"},
                      SizeCase{6, -1, 1023, "1,023.00 b"}, SizeCase{6, -1, KiB, "1.00 Kb"},
                      SizeCase{6, -1, MiB - 1, "1,024.00 Kb"}, // rounds up into the next 1000
                      SizeCase{6, -1, MiB, "1.00 Mb"}, SizeCase{6, -1, TiB, "1.00 Tb"},
                      SizeCase{6, -1, 5000 * TiB, "5,000.00 Tb"}, SizeCase{6, -1, 10000, "9.77 Kb"},
                      // 1.125 and 2.5 are exact halves: away from zero.
                      SizeCase{6, -1, 1152, "1.13 Kb"}, SizeCase{6, 0, 2560, "3 Kb"},
                      SizeCase{6, 3, 1536, "1.500 Kb"},
                      SizeCase{6, -1, std::numeric_limits<int64_t>::max(), "8,388,608.00 Tb"},
                      // Below zero there is no unit and the text ends in the space.
                      SizeCase{6, -1, -5, "-5.00 "}, SizeCase{6, -1, -1536, "-1,536.00 "},
                      SizeCase{6, -1, std::numeric_limits<int64_t>::min(),
                               "-9,223,372,036,854,775,808.00 "}));

INSTANTIATE_TEST_SUITE_P(
    Fixed, FormatSizeCases,
    ::testing::Values(SizeCase{0, -1, 1234, "1,234 "}, SizeCase{0, -1, 1234567, "1,234,567 "},
                      SizeCase{0, -1, 0, "0 "}, SizeCase{0, -1, 999, "999 "},
                      SizeCase{0, 2, 1234, "1,234.00 "}, SizeCase{1, -1, 2048, "2,048 b"},
                      SizeCase{2, -1, 1536, "2 Kb"}, SizeCase{2, 2, 1536, "1.50 Kb"},
                      SizeCase{3, 1, 3 * MiB / 2, "1.5 Mb"}, SizeCase{4, 2, 5 * GiB, "5.00 Gb"},
                      SizeCase{5, 3, TiB / 4, "0.250 Tb"},
                      // Unknown kinds have no unit and no divisor.
                      SizeCase{7, -1, 1536, "1,536 "}, SizeCase{-1, 1, 1536, "1,536.0 "},
                      // A negative value that rounds to zero loses its sign.
                      SizeCase{2, 0, -1, "0 Kb"}, SizeCase{2, 0, -1536, "-2 Kb"},
                      SizeCase{2, 1, -1536, "-1.5 Kb"}));

TEST(FormatSize, UsesTheLocaleSeparatorsWhateverTheirLength) {
    sim::SimPlatform locale;
    locale.SetSeparators(".", ",");
    EXPECT_EQ(FormatSize(locale, 2, 2, 1234567 * KiB + KiB / 2), "1.234.567,50 Kb");
    EXPECT_EQ(FormatSize(locale, 6, -1, 1536), "1,50 Kb");

    locale.SetSeparators("\u00A0", "\u066B"); // no-break space; Arabic decimal separator
    EXPECT_EQ(FormatSize(locale, 0, -1, 1234567), "1\u00A0234\u00A0567 ");
    EXPECT_EQ(FormatSize(locale, 6, -1, 1536), "1\u066B50 Kb");

    locale.SetSeparators("", ".");
    EXPECT_EQ(FormatSize(locale, 0, -1, 1234567), "1234567 ");
}

TEST(FormatPercent, TwoDecimalsWithTheLocaleSeparator) {
    sim::SimPlatform locale;
    EXPECT_EQ(FormatPercent(locale, 40.96), "40.96%");
    EXPECT_EQ(FormatPercent(locale, 0.0), "0.00%");
    EXPECT_EQ(FormatPercent(locale, 100.0), "100.00%");
    EXPECT_EQ(FormatPercent(locale, 100.0 / 3.0), "33.33%");
    EXPECT_EQ(FormatPercent(locale, 12345.678), "12345.68%"); // no thousands separator
    EXPECT_EQ(FormatPercent(locale, std::nan("")), "0.00%");
    locale.SetSeparators(".", ",");
    EXPECT_EQ(FormatPercent(locale, 40.96), "40,96%");
}

} // namespace
} // namespace brimble
