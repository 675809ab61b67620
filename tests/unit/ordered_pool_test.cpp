// The ordered pool: results in the order the jobs were given whatever order they finish in,
// a job's error in its turn, a stop that drops what has not started and joins the rest, and a
// setting each worker applies to its own thread before its next job.

#include "threads/TOrderedPool.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

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

TEST(OrderedPool, EachWorkerAppliesTheLatestSettingOnItsOwnThreadBeforeItsNextJob) {
    std::mutex mutex;
    std::set<std::thread::id> settled; // the threads that ran the setting of this round
    int round = 0;
    TPool pool(2);
    // Each job says whether its own thread ran the current round's setting before it.
    const auto job = [&](TCounter&) {
        const std::lock_guard lock(mutex);
        return settled.contains(std::this_thread::get_id()) ? round : -1;
    };
    for (int r = 1; r <= 2; ++r) {
        {
            const std::lock_guard lock(mutex);
            settled.clear();
            round = r;
        }
        pool.SetWorkerSetting([&] {
            const std::lock_guard lock(mutex);
            settled.insert(std::this_thread::get_id());
        });
        for (int i = 0; i < 20; ++i)
            pool.Submit(job);
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(pool.Next(true), r) << "round " << r << ", job " << i;
    }
    // A setting that fails leaves the workers running their jobs.
    pool.SetWorkerSetting([] { throw std::runtime_error("refused"); });
    pool.Submit([](TCounter&) { return 7; });
    EXPECT_EQ(pool.Next(true), 7);
}

} // namespace
} // namespace brimble::test
