#pragma once

// Tells the UI thread when drives come or go: a thread blocks on the platform's mount
// watch and posts OnChange for each change. Stopped and joined when destroyed; a change
// posted before that is dropped once this object is gone.

#include "platform/Platform.h"
#include "threads/UiLoop.h"

#include <functional>
#include <memory>
#include <thread>

namespace brimble {

class TMountWatchThread {
public:
    // Watch may be null (the platform cannot tell): then nothing runs.
    TMountWatchThread(std::unique_ptr<IMountWatch> watch, IUiLoop& uiLoop,
                      std::function<void()> onChange);
    ~TMountWatchThread();
    TMountWatchThread(const TMountWatchThread&) = delete;
    TMountWatchThread& operator=(const TMountWatchThread&) = delete;

    bool Watching() const { return FWatch != nullptr; }

private:
    void Execute();

    std::unique_ptr<IMountWatch> FWatch;
    IUiLoop& FUiLoop;
    // Shared with every posted call: false once this object is gone (UI thread only).
    std::shared_ptr<bool> FAlive;
    std::function<void()> FOnChange;
    std::thread FThread;
};

} // namespace brimble
