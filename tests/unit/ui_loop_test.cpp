// The standard-library UI loop: calls from workers, posted calls, timers on the sim clock,
// the run functions and the end of the loop while workers still wait.

#include "platform/sim/SimPlatform.h"
#include "support/UiLoopContract.h"
#include "threads/HandOverQueue.h"
#include "threads/StdUiLoop.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace brimble {
namespace {

class UiLoopTest : public ::testing::Test {
protected:
    std::unique_ptr<ITimer> MakeTimer(uint32_t interval, std::vector<std::string>& fired,
                                      const std::string& name) {
        auto timer = loop.CreateTimer([&fired, name] { fired.push_back(name); });
        timer->SetInterval(interval);
        return timer;
    }

    sim::SimPlatform sim;
    StdUiLoop loop{sim};
};

TEST_F(UiLoopTest, RunAndWaitFromWorkerRunsOnTheUiThreadAndReturnsAfterIt) {
    std::thread::id ranOn;
    int value = 0;
    int seenByWorker = 0;
    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
        loop.RunAndWait([&] {
            ranOn = std::this_thread::get_id();
            value = 42;
        });
        seenByWorker = value; // only safe if the call has really finished
        workerDone = true;
    });
    loop.RunUntil([&] { return workerDone.load(); });
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(seenByWorker, 42);
}

TEST_F(UiLoopTest, RunAndWaitOnTheUiThreadRunsAtOnce) {
    bool ran = false;
    loop.RunAndWait([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_EQ(loop.PendingMessages(), 0u);
    EXPECT_THROW(loop.RunAndWait([] { throw std::logic_error("direct"); }), std::logic_error);
}

TEST_F(UiLoopTest, ExceptionOfTheCallIsRaisedAgainInTheWorkerOnly) {
    std::string caught;
    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
        try {
            loop.RunAndWait([] { throw std::invalid_argument("bad file"); });
        } catch (const std::invalid_argument& e) {
            caught = e.what();
        }
        workerDone = true;
    });
    EXPECT_NO_THROW(loop.RunUntil([&] { return workerDone.load(); }));
    worker.join();
    EXPECT_EQ(caught, "bad file");
}

TEST_F(UiLoopTest, PostedCallsRunInOrderOneMessageAtATime) {
    std::vector<int> order;
    std::thread worker([&] { loop.Post([&] { order.push_back(1); }); });
    worker.join();
    loop.Post([&] { order.push_back(2); });
    EXPECT_EQ(loop.PendingMessages(), 2u);
    EXPECT_TRUE(order.empty());
    EXPECT_TRUE(loop.ProcessOneMessage());
    EXPECT_EQ(order, std::vector<int>{1});
    EXPECT_TRUE(loop.ProcessOneMessage());
    EXPECT_FALSE(loop.ProcessOneMessage());
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST_F(UiLoopTest, ExceptionOfAPostedCallReachesTheUiThreadAndTheQueueGoesOn) {
    bool secondRan = false;
    loop.Post([] { throw std::runtime_error("posted"); });
    loop.Post([&] { secondRan = true; });
    EXPECT_THROW(loop.ProcessOneMessage(), std::runtime_error);
    EXPECT_TRUE(loop.ProcessOneMessage());
    EXPECT_TRUE(secondRan);
}

TEST_F(UiLoopTest, TimerFiresEveryIntervalOnTheClockOnlyWhileEnabled) {
    std::vector<std::string> fired;
    auto timer = MakeTimer(100, fired, "t");
    EXPECT_FALSE(timer->Enabled()); // created disabled
    sim.AdvanceMilliseconds(1000);
    EXPECT_EQ(loop.FireDueTimers(), 0);

    timer->SetEnabled(true);
    sim.AdvanceMilliseconds(99);
    EXPECT_EQ(loop.FireDueTimers(), 0);
    sim.AdvanceMilliseconds(1);
    EXPECT_EQ(loop.FireDueTimers(), 1);
    EXPECT_EQ(loop.FireDueTimers(), 0); // once per interval
    // Missed intervals fire once, not in a burst.
    sim.AdvanceMilliseconds(550);
    EXPECT_EQ(loop.FireDueTimers(), 1);
    EXPECT_EQ(loop.FireDueTimers(), 0);

    timer->SetEnabled(false);
    sim.AdvanceMilliseconds(1000);
    EXPECT_EQ(loop.FireDueTimers(), 0);
    EXPECT_FALSE(loop.ProcessOneMessage());
    EXPECT_EQ(fired.size(), 2u);
}

TEST_F(UiLoopTest, EnablingAgainOrChangingTheIntervalRestartsTheCount) {
    std::vector<std::string> fired;
    auto timer = MakeTimer(100, fired, "t");
    timer->SetEnabled(true);
    sim.AdvanceMilliseconds(60);
    timer->SetEnabled(true);
    sim.AdvanceMilliseconds(60);
    EXPECT_EQ(loop.FireDueTimers(), 0);
    timer->SetInterval(100);
    sim.AdvanceMilliseconds(99);
    EXPECT_EQ(loop.FireDueTimers(), 0);
    sim.AdvanceMilliseconds(1);
    EXPECT_EQ(loop.FireDueTimers(), 1);
    EXPECT_EQ(timer->Interval(), 100u);
}

TEST_F(UiLoopTest, ZeroIntervalNeverFires) {
    std::vector<std::string> fired;
    auto timer = MakeTimer(0, fired, "t");
    timer->SetEnabled(true);
    sim.AdvanceMilliseconds(10);
    EXPECT_EQ(loop.FireDueTimers(), 0);
    EXPECT_FALSE(loop.ProcessOneMessage());
}

TEST_F(UiLoopTest, TimerCountsAcrossTheTickCountWrap) {
    const uint32_t toWrap = std::numeric_limits<uint32_t>::max() - sim.TickCount();
    sim.AdvanceMilliseconds(static_cast<int64_t>(toWrap) - 50);
    std::vector<std::string> fired;
    auto timer = MakeTimer(100, fired, "t");
    timer->SetEnabled(true);
    sim.AdvanceMilliseconds(99); // the tick count wraps in between
    EXPECT_EQ(loop.FireDueTimers(), 0);
    sim.AdvanceMilliseconds(1);
    EXPECT_EQ(loop.FireDueTimers(), 1);
}

TEST_F(UiLoopTest, DestroyedOrDisabledTimerNeverFiresAgainEvenWhenDue) {
    std::vector<std::string> fired;
    std::unique_ptr<ITimer> b, c;
    // Fires first (created first) and destroys b and disables c, which are due as well.
    auto killer = loop.CreateTimer([&] {
        fired.push_back("killer");
        b.reset();
        c->SetEnabled(false);
    });
    killer->SetInterval(100);
    auto a = MakeTimer(100, fired, "a");
    b = MakeTimer(100, fired, "b");
    c = MakeTimer(100, fired, "c");
    for (ITimer* t : {killer.get(), a.get(), b.get(), c.get()})
        t->SetEnabled(true);
    sim.AdvanceMilliseconds(100);
    EXPECT_EQ(loop.FireDueTimers(), 2);
    EXPECT_EQ(fired, (std::vector<std::string>{"killer", "a"}));
    a.reset();
    killer.reset();
    sim.AdvanceMilliseconds(100);
    EXPECT_EQ(loop.FireDueTimers(), 0);
}

TEST_F(UiLoopTest, TimerMayDestroyItselfInItsHandler) {
    std::unique_ptr<ITimer> timer;
    int fired = 0;
    timer = loop.CreateTimer([&] {
        ++fired;
        timer.reset();
    });
    timer->SetInterval(10);
    timer->SetEnabled(true);
    sim.AdvanceMilliseconds(10);
    EXPECT_TRUE(loop.ProcessOneMessage());
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(timer, nullptr);
    sim.AdvanceMilliseconds(10);
    EXPECT_FALSE(loop.ProcessOneMessage());
}

TEST_F(UiLoopTest, ProcessOneMessageHandlesQueuedCallsBeforeADueTimer) {
    std::vector<std::string> fired;
    auto timer = MakeTimer(10, fired, "timer");
    timer->SetEnabled(true);
    sim.AdvanceMilliseconds(10);
    loop.Post([&] { fired.push_back("call"); });
    EXPECT_TRUE(loop.ProcessOneMessage());
    EXPECT_TRUE(loop.ProcessOneMessage());
    EXPECT_FALSE(loop.ProcessOneMessage());
    EXPECT_EQ(fired, (std::vector<std::string>{"call", "timer"}));
}

TEST_F(UiLoopTest, RunEndsOnQuitFromATimerOrAWorker) {
    auto timer = loop.CreateTimer([&] { loop.Quit(); });
    timer->SetInterval(5);
    timer->SetEnabled(true);
    sim.AdvanceMilliseconds(5);
    loop.Run(); // returns: the due timer quits it
    timer->SetEnabled(false);

    bool ran = false;
    std::thread worker([&] {
        loop.RunAndWait([&] { ran = true; });
        loop.Quit();
    });
    loop.Run();
    worker.join();
    EXPECT_TRUE(ran);
}

TEST_F(UiLoopTest, RunUntilSeesStateThatAnotherThreadChangesWithoutAMessage) {
    loop.RunUntil([] { return true; }); // already done: returns at once
    std::atomic<bool> flag{false};
    std::thread worker([&] { flag = true; });
    loop.RunUntil([&] { return flag.load(); });
    worker.join();
    EXPECT_TRUE(flag);
}

TEST_F(UiLoopTest, DestroyingTheLoopWakesAWaitingWorkerWithAnError) {
    auto owned = std::make_unique<StdUiLoop>(sim);
    StdUiLoop& doomed = *owned;
    auto timer = doomed.CreateTimer([] {}); // outlives its loop
    bool callRan = false;
    bool workerGotError = false;
    std::thread worker([&] {
        try {
            doomed.RunAndWait([&] { callRan = true; });
        } catch (const std::runtime_error&) {
            workerGotError = true;
        }
    });
    while (doomed.PendingMessages() == 0)
        std::this_thread::yield();
    owned.reset();
    worker.join();
    EXPECT_TRUE(workerGotError);
    EXPECT_FALSE(callRan);
    timer->SetEnabled(true);
    timer.reset();
}

// The contract that the Qt loop keeps too: the same table runs in the shell tests.
TEST(UiLoopContract, TheStandardLoopKeepsIt) {
    sim::SimPlatform sim;
    const test::TUiLoopHarness harness{[&] { return std::make_unique<StdUiLoop>(sim); },
                                       [](IUiLoop& loop, const std::function<bool()>& done) {
                                           const auto deadline = std::chrono::steady_clock::now() +
                                                                 std::chrono::seconds(10);
                                           bool late = false;
                                           static_cast<StdUiLoop&>(loop).RunUntil([&] {
                                               late = std::chrono::steady_clock::now() > deadline;
                                               return late || done();
                                           });
                                           return !late;
                                       }};
    for (const test::TUiLoopContractCase& c : test::UiLoopContractCases())
        if (const auto failure = c.Check(harness)) ADD_FAILURE() << c.Name << ": " << *failure;
}

// Once its loop has ended, a late report is dropped, but a worker that waits for its call
// learns that it never ran.
TEST(HandOverQueue, AfterTheLoopEndedPostsAreDroppedAndHandOversFail) {
    int wakes = 0;
    THandOverQueue queue(std::thread::id(), [&] { ++wakes; }); // no thread is its UI thread
    queue.Close();
    bool ran = false;
    EXPECT_NO_THROW(queue.Post([&] { ran = true; }));
    EXPECT_THROW(queue.RunAndWait([&] { ran = true; }), std::runtime_error);
    EXPECT_FALSE(queue.RunOne());
    EXPECT_FALSE(ran);
    EXPECT_EQ(wakes, 0);
}

} // namespace
} // namespace brimble
