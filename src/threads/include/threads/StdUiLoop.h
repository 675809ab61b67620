#pragma once

// The UI loop of tests and headless programs: a plain message queue on the thread that
// created it, with timers measured on the platform clock's tick count.

#include "threads/UiLoop.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <thread>

namespace brimble {

class IClock;
class THandOverQueue;

// How the clock of the timers moves.
enum class TClockKind {
    // Moved by hand, perhaps from another thread (tests): a waiting loop looks at its
    // timers again at least every 20 ms.
    MovedByHand,
    // A real clock: a waiting loop sleeps until its next timer is due, so an idle program
    // wakes only for its timers and its messages.
    Real,
};

class StdUiLoop : public IUiLoop {
public:
    explicit StdUiLoop(IClock& clock, TClockKind clockKind = TClockKind::MovedByHand);
    // Wakes every worker still waiting in RunAndWait with an error; queued calls are dropped.
    // Workers must not call the loop once it is gone.
    ~StdUiLoop() override;
    StdUiLoop(const StdUiLoop&) = delete;
    StdUiLoop& operator=(const StdUiLoop&) = delete;

    void RunAndWait(std::function<void()> call) override;
    void Post(std::function<void()> call) override;
    // A queued call first, else one due timer. An exception from a posted call or a timer
    // leaves here, as an unhandled error of the UI thread.
    bool ProcessOneMessage() override;
    std::unique_ptr<ITimer> CreateTimer(std::function<void()> onTimer) override;
    bool IsUiThread() const override;

    // Handles messages and due timers until Quit; waits between them.
    void Run();
    // Handles messages and due timers until Done returns true (checked after each one, and
    // every millisecond while waiting, since Done may watch state that other threads change).
    void RunUntil(const std::function<bool()>& done);
    // Ends Run; callable from any thread.
    void Quit() override;
    // Fires the timers whose interval has passed on the clock; returns how many fired.
    int FireDueTimers();
    std::size_t PendingMessages() const override;

private:
    struct Core;
    struct TimerState;
    class Timer;

    // Blocks until a message or Quit arrives, a timer may be due, or (when polling) a
    // millisecond has passed.
    void WaitForWork(bool poll);
    bool TakeQuitRequest();

    // Shared with the timers, which may outlive the loop.
    std::shared_ptr<Core> FCore;
    // Shared with workers that still wait in it when the loop ends.
    std::shared_ptr<THandOverQueue> FQueue;
};

} // namespace brimble
