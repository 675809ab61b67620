#pragma once

// Waiting for a worker thread to end while it may be waiting for this thread: on the UI
// thread a hand-over the worker has begun must be served, or neither could go on.

#include "threads/UiLoop.h"

#include <condition_variable>
#include <mutex>

namespace brimble {

// Returns once Ended is set. Lock holds the mutex that guards Ended and InHandOver, and
// Changed is notified when either changes.
void WaitServingHandOver(IUiLoop& uiLoop, std::unique_lock<std::mutex>& lock,
                         std::condition_variable& changed, const bool& ended,
                         const bool& inHandOver);

} // namespace brimble
