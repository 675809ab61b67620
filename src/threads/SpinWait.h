#pragma once

// Waking a sleeping thread on another core can take tens of microseconds on a quiet machine,
// far longer than the UI thread needs for a file that wants no action. So a waiter first
// looks for its answer this long before it goes to sleep; the hand-over of each found file
// then costs a few microseconds instead of two wake-ups.

#include <chrono>

namespace brimble {

inline constexpr std::chrono::microseconds SpinBeforeSleep{50};

// True as soon as Ready says so; false when it did not within SpinBeforeSleep. The spin
// never yields: on a busy machine a yield hands the core to another process for a whole
// time slice (milliseconds), far longer than the wake-up it was to save.
template <class Ready> bool SpinUntil(const Ready& ready) {
    const auto end = std::chrono::steady_clock::now() + SpinBeforeSleep;
    do {
        if (ready()) return true;
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

} // namespace brimble
