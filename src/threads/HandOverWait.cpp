#include "threads/HandOverWait.h"

#include <chrono>

namespace brimble {

void WaitServingHandOver(IUiLoop& uiLoop, std::unique_lock<std::mutex>& lock,
                         std::condition_variable& changed, const bool& ended,
                         const bool& inHandOver) {
    const bool onUiThread = uiLoop.IsUiThread();
    while (!ended) {
        if (!(onUiThread && inHandOver)) {
            changed.wait(lock, [&] { return ended || (onUiThread && inHandOver); });
            continue;
        }
        // The worker waits for this (UI) thread: serve its hand-over, which the worker's
        // stop request turns into a no-op.
        lock.unlock();
        bool handled = true;
        try {
            handled = uiLoop.ProcessOneMessage();
        } catch (...) {
            // Another message's error; the worker must still be joined.
        }
        lock.lock();
        if (!handled) changed.wait_for(lock, std::chrono::milliseconds(1), [&] { return ended; });
    }
}

} // namespace brimble
