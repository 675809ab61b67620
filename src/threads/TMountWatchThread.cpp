#include "threads/TMountWatchThread.h"

#include <utility>

namespace brimble {

TMountWatchThread::TMountWatchThread(std::unique_ptr<IMountWatch> watch, IUiLoop& uiLoop,
                                     std::function<void()> onChange)
    : FWatch(std::move(watch)), FUiLoop(uiLoop), FAlive(std::make_shared<bool>(true)),
      FOnChange(std::move(onChange)) {
    if (FWatch) FThread = std::thread([this] { Execute(); });
}

TMountWatchThread::~TMountWatchThread() {
    *FAlive = false;
    if (!FThread.joinable()) return;
    FWatch->Wake();
    FThread.join();
}

void TMountWatchThread::Execute() {
    // Posted, never waited for: the UI thread may be the one that stops this thread.
    while (FWatch->WaitForChange()) {
        FUiLoop.Post([alive = FAlive, onChange = FOnChange] {
            if (*alive) onChange();
        });
    }
}

} // namespace brimble
