// The machine's idleness from the kernel's pressure figures: reading them, and the idle
// time they give as they stay low or rise.

#include "platform/posix/PressureIdle.h"

#include <gtest/gtest.h>

namespace brimble::posix {
namespace {

TEST(PressureIdle, ReadsTheSomeAverageOfTenSeconds) {
    EXPECT_EQ(SomeAvg10("some avg10=1.25 avg60=0.50 avg300=0.10 total=123\n"
                        "full avg10=9.00 avg60=0.00 avg300=0.00 total=0\n"),
              1.25);
    EXPECT_EQ(SomeAvg10("full avg10=9.00 avg60=0.00 avg300=0.00 total=0\n"), std::nullopt);
    EXPECT_EQ(SomeAvg10("some avg60=1.00\n"), std::nullopt);
    EXPECT_EQ(SomeAvg10(""), std::nullopt);
}

TEST(PressureIdle, IdleTimeGrowsWhileBothStayLowAndStartsAgainAfterLoad) {
    PressureIdle idle;
    const Pressure quiet{0.5, 1.0}, busyCpu{40.0, 0.0}, busyDisk{0.0, 12.0};
    EXPECT_EQ(idle.Update(1000, quiet), 0u);
    EXPECT_EQ(idle.Update(61000, quiet), 60000u);
    EXPECT_EQ(idle.Update(62000, busyCpu), 0u);
    EXPECT_EQ(idle.Update(63000, quiet), 0u);
    EXPECT_EQ(idle.Update(66000, quiet), 3000u);
    EXPECT_EQ(idle.Update(67000, busyDisk), 0u);
    // Without the figures (a kernel without them) nobody is idle.
    EXPECT_EQ(idle.Update(68000, quiet), 0u);
    EXPECT_EQ(idle.Update(90000, std::nullopt), 0u);
    EXPECT_EQ(idle.Update(91000, quiet), 0u);
}

} // namespace
} // namespace brimble::posix
