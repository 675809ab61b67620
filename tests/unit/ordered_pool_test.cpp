// The ordered pool: results in the order the jobs were given whatever order they finish in,
// a job's error in its turn, and a stop that drops what has not started and joins the rest.

#include "threads/TOrderedPool.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <stdexcept>

namespace brimble::test {
namespace {

struct TCounter {
    int Jobs = 0; // jobs this worker ran: its state is its own
};

using TPool = TOrderedPool<int, TCounter>;

TEST(OrderedPool, ResultsComeInTheOrderGivenAndAnErrorInItsTurn) {
    TPool pool(2);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> secondDone;
    pool.Submit([released](TCounter&) {
        released.wait(); // finishes after the jobs behind it
        return 1;
    });
    pool.Submit([&secondDone](TCounter&) {
        secondDone.set_value();
        return 2;
    });
    pool.Submit([](TCounter&) -> int { throw std::runtime_error("third"); });
    pool.Submit([](TCounter& state) { return 100 + ++state.Jobs; });
    secondDone.get_future().wait();
    EXPECT_EQ(pool.Pending(), 4u);
    EXPECT_FALSE(pool.Next(false)); // the oldest is still running: nothing yet
    release.set_value();
    EXPECT_EQ(pool.Next(true), 1);
    EXPECT_EQ(pool.Next(true), 2);
    EXPECT_THROW(pool.Next(true), std::runtime_error);
    const std::optional<int> last = pool.Next(true);
    ASSERT_TRUE(last);
    EXPECT_GT(*last, 100);
    EXPECT_EQ(pool.Pending(), 0u);
    EXPECT_FALSE(pool.Next(true)); // nothing pending: no wait
}

TEST(OrderedPool, StopDropsWhatHasNotStartedAndJoinsTheRest) {
    std::atomic<int> ran = 0;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> started;
    {
        TPool pool(1);
        pool.Submit([&, released](TCounter&) {
            started.set_value();
            released.wait();
            return ++ran;
        });
        for (int i = 0; i < 10; ++i)
            pool.Submit([&ran](TCounter&) { return ++ran; });
        started.get_future().wait();
        std::thread stopper([&pool] { pool.Stop(); }); // waits for the running job
        // Once stopping, the pool takes no more jobs: only then is the running one let go.
        for (std::size_t pending = 0; pending != pool.Pending();) {
            pending = pool.Pending();
            pool.Submit([](TCounter&) { return 0; });
        }
        release.set_value();
        stopper.join();
        EXPECT_EQ(ran, 1);
        EXPECT_EQ(pool.Next(true), 1);                    // what finished can still be taken
        EXPECT_FALSE(pool.Next(true));                    // the dropped jobs never come
        pool.Submit([&ran](TCounter&) { return ++ran; }); // ignored after the stop
    } // the destructor stops again: no second join, no hang
    EXPECT_EQ(ran, 1);
}

} // namespace
} // namespace brimble::test
