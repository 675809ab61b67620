// Where the on-idle mode learns the idle time: the user's input, or with the option the
// machine's own idleness; both feed the same idle arithmetic.

#include "support/EngineFixture.h"

#include <gtest/gtest.h>
#include <string>

namespace brimble {
namespace {

class IdleSource : public test::EngineFixture {};

TEST_F(IdleSource, TheOptionTakesTheMachinesIdlenessAndTheLogSaysWhich) {
    sim.SetUserIdleMilliseconds(1000);
    sim.SetMachineIdleMilliseconds(600'000);
    Engine().Options().SmartCompressMode = TSmartCompressMode::scmOnIdle;
    Engine().LogFile().SetLogLevel(1);
    EXPECT_EQ(Engine().GetIdleTime(), 1000);
    Engine().OptionsChanged();

    Engine().Options().IdleFromMachineLoad = true;
    EXPECT_EQ(Engine().GetIdleTime(), 600'000);
    Engine().OptionsChanged();
    Engine().OptionsChanged(); // said once while it stays

    const std::string log = sim.Content(Engine().LogFile().FileName());
    EXPECT_NE(log.find("\tIdle time from the user's input"), std::string::npos) << log;
    const std::string machine = "\tIdle time from the machine's load";
    const auto first = log.find(machine);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(machine, first + 1), std::string::npos) << log;
}

} // namespace
} // namespace brimble
