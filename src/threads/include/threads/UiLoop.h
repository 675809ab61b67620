#pragma once

// How worker threads reach the user-interface thread, and the UI thread's timers.
// The shell implements it with Qt's event loop; tests and headless programs use StdUiLoop.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace brimble {

class ITimer {
public:
    virtual ~ITimer() = default;
    virtual void SetInterval(uint32_t milliseconds) = 0;
    virtual uint32_t Interval() const = 0;
    // An enabled timer fires every Interval milliseconds on the UI thread; enabling
    // (again) restarts the count.
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
};

class IUiLoop {
public:
    virtual ~IUiLoop() = default;
    // Runs Call on the UI thread and waits until it has run. An exception raised there is
    // raised again in the waiting thread. Called on the UI thread itself, it runs at once.
    virtual void RunAndWait(std::function<void()> call) = 0;
    // Queues Call for the UI thread and returns at once.
    virtual void Post(std::function<void()> call) = 0;
    // Handles one pending message, if any; true when one was handled.
    virtual bool ProcessOneMessage() = 0;
    // A timer whose OnTimer runs on the UI thread; created disabled.
    virtual std::unique_ptr<ITimer> CreateTimer(std::function<void()> onTimer) = 0;
    virtual bool IsUiThread() const = 0;
    // Ends the loop once the message being handled is done.
    virtual void Quit() = 0;
    // Calls queued and not yet handled.
    virtual std::size_t PendingMessages() const = 0;
};

} // namespace brimble
