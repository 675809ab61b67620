#include "engine/TErrorBoxGate.h"

#include <gtest/gtest.h>

namespace brimble {
namespace {

// A timer failing at every tick, also while its first box waits for the user.
TEST(ErrorBoxGate, EachTextIsShownOnceAndNeverInsideAnotherBox) {
    TErrorBoxGate gate;
    ASSERT_TRUE(gate.Admit("disk gone"));
    {
        const TErrorBoxGate::TOpenBox open(gate);
        EXPECT_FALSE(gate.Admit("disk gone"));
        EXPECT_FALSE(gate.Admit("another error")); // would open inside the first box
    }
    EXPECT_FALSE(gate.Admit("disk gone"));
    EXPECT_TRUE(gate.Admit("another error"));
}

} // namespace
} // namespace brimble
