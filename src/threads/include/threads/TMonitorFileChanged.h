#pragma once

// A change watcher: a worker thread that reads the change records below one folder (a drive
// root) and hands the full path of every created, renamed-to or resized item to the UI
// thread, waiting until the handler has run.

#include "platform/Platform.h"
#include "threads/UiLoop.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace brimble {

class TMonitorFileChanged;

// Runs on the UI thread while the watcher waits; an exception raised here ends the watcher.
using TFileChangedEvent =
    std::function<void(TMonitorFileChanged& Sender, const std::string& FileName)>;
// The platform lost changes below the watched folder; they are not reported later. Runs on
// the UI thread like TFileChangedEvent.
using TChangesLostEvent = std::function<void(TMonitorFileChanged& Sender)>;
// Text says how the watcher watches (Ended false: every change from now on is seen) or why
// it ended without a stop request (Ended true). Runs on the UI thread like the others.
using TWatchStateEvent =
    std::function<void(TMonitorFileChanged& Sender, const std::string& Text, bool Ended)>;

struct TMonitorHandlers {
    TFileChangedEvent OnFileChanged;
    TChangesLostEvent OnChangesLost;
    TWatchStateEvent OnWatchState;
    // A file was just created and its data is still to come; its finished state reaches
    // OnFileChanged later. Without this handler such reports are dropped.
    TFileChangedEvent OnFileCreated;
};

// The last change record the watcher handled, for dropping repeats.
struct TFileChangedInfo {
    std::string Name;
    uint32_t Action = fileaction::None;
    TDateTime Time = 0;
};

class TMonitorFileChanged {
public:
    static constexpr uint32_t DefaultFilter = notifyfilter::FileName | notifyfilter::DirName |
                                              notifyfilter::Size | notifyfilter::Creation;
    // The same name with the same action within this many days is one change.
    static constexpr TDateTime RepeatWindow = 0.00001;

    // Starts watching Path (the delimiter is added when missing) at once; what watching needs
    // beyond the open (a crawl of the tree) runs on the watcher's thread, so this never
    // waits for it. The platform and the UI loop must outlive the watcher.
    TMonitorFileChanged(Platform& platform, IUiLoop& uiLoop, const std::string& Path,
                        TMonitorHandlers Handlers);
    TMonitorFileChanged(Platform& platform, IUiLoop& uiLoop, const std::string& Path,
                        TFileChangedEvent OnFileChanged, TChangesLostEvent OnChangesLost = {})
        : TMonitorFileChanged(
              platform, uiLoop, Path,
              TMonitorHandlers{std::move(OnFileChanged), std::move(OnChangesLost), {}, {}}) {}
    // Makes the stop request and waits for the thread, serving its pending hand-over when
    // called on the UI thread; nothing more is reported. A crawl in progress ends at the
    // next folder, so the wait is short. Called from the watcher's own
    // handler, it cannot wait for the thread, which then ends on its own once the handler
    // has returned.
    ~TMonitorFileChanged();
    TMonitorFileChanged(const TMonitorFileChanged&) = delete;
    TMonitorFileChanged& operator=(const TMonitorFileChanged&) = delete;

    const std::string& Path() const;
    uint32_t Filter() const;

    // The stop request: wakes a blocked read, and nothing more is reported. Returns at once.
    void Terminate();
    bool Ended() const;
    // Ended without a stop request: the folder could not be opened, a read failed (the
    // volume went away) or a handler raised an error.
    bool EndedByItself() const;

private:
    struct Core;
    // Shared with the thread, which may outlive this handle when destroyed by its own handler.
    std::shared_ptr<Core> FCore;
    std::thread FThread;
};

} // namespace brimble
