#pragma once

// The one queue through which worker threads hand calls to the UI thread. A UI loop owns
// one and supplies only its wake-up (and its timers); the hand-over contract lives here:
// - RunAndWait runs the call on the UI thread and returns after it; an exception raised
//   there is raised again in the waiting worker. On the UI thread itself it runs at once.
// - Post queues the call and returns; an exception of a posted call leaves RunOne, as an
//   unhandled error of the UI thread.
// - Calls run in the order they were queued, one per RunOne.
// - A call's captures are destroyed on the UI thread, before its worker goes on.
// - Once closed (the loop has ended), RunAndWait throws and Post drops the call: a late
//   report is harmless, but a worker must know that its call never ran. Workers waiting
//   when the queue closes are woken with an error.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace brimble {

class THandOverQueue {
public:
    // Wake is called under the queue's lock each time a call is queued: it may only signal
    // the UI thread, and must take no lock that the UI thread holds while it calls this
    // queue (Pending takes none).
    THandOverQueue(std::thread::id uiThread, std::function<void()> wake);
    ~THandOverQueue();
    THandOverQueue(const THandOverQueue&) = delete;
    THandOverQueue& operator=(const THandOverQueue&) = delete;

    void RunAndWait(std::function<void()> call);
    void Post(std::function<void()> call);
    // On the UI thread: runs the oldest queued call; false when none was queued.
    bool RunOne();
    // The loop has ended: waiting workers get an error, queued calls are dropped.
    void Close();
    // Calls queued and not yet run; safe from any thread without a lock.
    std::size_t Pending() const { return FPending.load(); }
    bool IsUiThread() const { return std::this_thread::get_id() == FUiThread; }

private:
    struct Message;

    const std::thread::id FUiThread;
    const std::function<void()> FWake;
    mutable std::mutex FMutex;
    std::deque<std::shared_ptr<Message>> FQueue;
    std::atomic<std::size_t> FPending = 0;
    bool FClosed = false;
};

} // namespace brimble
