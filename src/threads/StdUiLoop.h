#pragma once

// The UI loop of tests and headless programs: a plain message queue on the thread that
// created it, with timers measured on the platform clock's tick count.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "threads/UiLoop.h"

namespace brimble {

class IClock;

class StdUiLoop : public IUiLoop {
public:
    explicit StdUiLoop(IClock& clock);
    ~StdUiLoop() override;

    void RunAndWait(std::function<void()> call) override;
    void Post(std::function<void()> call) override;
    bool ProcessOneMessage() override;
    std::unique_ptr<ITimer> CreateTimer(std::function<void()> onTimer) override;
    bool IsUiThread() const override;

    // Handles messages and due timers until Quit; waits between them.
    void Run();
    // Handles messages and due timers until Done returns true (checked after each one).
    void RunUntil(const std::function<bool()>& done);
    void Quit();
    // Fires the timers whose interval has passed on the clock; returns how many fired.
    int FireDueTimers();

private:
    class Timer;
    struct Message;
    IClock& FClock;
    std::thread::id FUiThread;
    mutable std::mutex FMutex;
    std::condition_variable FCond;
    std::deque<std::shared_ptr<Message>> FQueue;
    std::vector<Timer*> FTimers;
    bool FQuit = false;
};

} // namespace brimble
