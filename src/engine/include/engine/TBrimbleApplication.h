#pragma once

// The program's start and end, shared by the tray program and the two programs without a
// window: the preconditions (platform version, one instance), the engine state with the
// options and the lists, the first application of the options, the mount watch, and the
// shutdown that saves the lists.

#include "engine/ExitCodes.h"
#include "engine/IMainView.h"
#include "engine/TfrmOptions.h"
#include "engine/uMain.h"
#include "options/ProgramFolders.h"
#include "platform/Platform.h"
#include "threads/TMountWatchThread.h"
#include "threads/UiLoop.h"

#include <functional>
#include <memory>
#include <string>

namespace brimble {

inline constexpr const char* kAlreadyRunningText = "Brimble is already running.";
inline constexpr const char* kPlatformTooOldText =
    "A Windows NT based OS is required for this application.";

// What start-up found before any window exists. Without an exit code the lock is held and
// must live as long as the process works on the program's files.
struct TStartCheck {
    std::unique_ptr<IInstanceLock> Lock;
    int ExitCode = 0;
    // The refusal, for a message box or standard error.
    std::string Message;
};

// The platform version, then the single-instance lock "Brimble". A lock that cannot be
// taken for another reason than a running instance refuses too (exit code 1): running
// without it could put two instances on the same lists.
TStartCheck CheckStartPreconditions(Platform& platform);

enum class TProgramRole {
    Tray,  // the tray program: everything
    Watch, // the background service: no window, no autostart entry of its own
    Scan,  // a folder scan in a terminal: no watchers, no timers
};

// Told of an error in a start-up step once the engine state exists, with the error's text;
// the start then goes on with the next step. Without one the error ends the start.
using TStartErrorHandler = std::function<void(TfrmBrimblemain& engine, const std::string& text)>;

class TBrimbleApplication {
public:
    // Creates the engine state ("Program started"), reads the options, then loads the
    // lists (their purge reads the options), and applies the options for the role.
    // OnStartError: what the tray program does with an error while its windows are made.
    TBrimbleApplication(Platform& platform, IUiLoop& uiLoop, IMainView& view,
                        const TProgramFolders& folders, TProgramRole role,
                        TStartErrorHandler OnStartError = {});
    // Runs the shutdown if nothing did yet.
    ~TBrimbleApplication();
    TBrimbleApplication(const TBrimbleApplication&) = delete;
    TBrimbleApplication& operator=(const TBrimbleApplication&) = delete;

    TfrmBrimblemain& Main() { return FMain; }
    TfrmOptions& OptionsDialog() { return FOptionsDialog; }
    // The tray menu's Exit, the end of the session, a stop signal: one shutdown.
    void ProgramExit();
    bool MountWatchRunning() const { return FMountWatch && FMountWatch->Watching(); }

private:
    TfrmBrimblemain FMain;
    TfrmOptions FOptionsDialog;
    std::unique_ptr<TMountWatchThread> FMountWatch;
};

} // namespace brimble
