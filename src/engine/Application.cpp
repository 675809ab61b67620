#include "engine/TBrimbleApplication.h"

#include <exception>
#include <functional>

namespace brimble {

namespace {

constexpr const char* kInstanceLockName = "Brimble";

} // namespace

TStartCheck CheckStartPreconditions(Platform& platform) {
    TStartCheck check;
    if (!platform.Process().PlatformVersionSupported()) {
        check.ExitCode = kExitPlatformTooOld;
        check.Message = kPlatformTooOldText;
        return check;
    }
    OsValue<std::unique_ptr<IInstanceLock>> lock =
        platform.Process().AcquireInstanceLock(kInstanceLockName);
    if (!lock) {
        check.ExitCode = kExitFailed;
        check.Message =
            "Cannot take the instance lock: " + platform.FileSystem().SysErrorMessage(lock.code());
    } else if (!*lock) {
        check.ExitCode = kExitAlreadyRunning;
        check.Message = kAlreadyRunningText;
    } else {
        check.Lock = std::move(*lock);
    }
    return check;
}

TBrimbleApplication::TBrimbleApplication(Platform& platform, IUiLoop& uiLoop, IMainView& view,
                                         const TProgramFolders& folders, TProgramRole role,
                                         TStartErrorHandler OnStartError)
    : FMain(platform, uiLoop, view, folders), FOptionsDialog(FMain) {
    // Each step on its own: a failed one is reported and the next still runs, so that the
    // program comes up with what it could set up (the lists are saved at its end).
    const auto step = [&](const std::function<void()>& run) {
        if (!OnStartError) return run(), true;
        try {
            run();
            return true;
        } catch (const std::exception& error) {
            OnStartError(FMain, error.what());
        } catch (...) {
            OnStartError(FMain, "unknown error");
        }
        return false;
    };
    step([this] { FOptionsDialog.LoadOptions(false); });
    // After the options: the purge of the delayed list ages entries by a stored setting.
    step([this] { FMain.LoadLists(); });
    if (role == TProgramRole::Scan) {
        // A scan in a terminal watches nothing: of the options only the priority applies.
        FMain.SetPriority(FMain.Options().Priority);
        return;
    }
    FMain.SetWindowless(role != TProgramRole::Tray);
    FOptionsDialog.OnOptionsChanged = [this] { FMain.OptionsChanged(); };
    // The first application shows the window first: when that fails, once more without it,
    // so that the timers, the watchers and the drive list still come up.
    if (!step([this] { FMain.OptionsChanged(); })) step([this] { FMain.OptionsChanged(); });
    FMountWatch = std::make_unique<TMountWatchThread>(platform.Volumes().OpenMountWatch(), uiLoop,
                                                      [this] { FMain.DeviceChanged(); });
}

TBrimbleApplication::~TBrimbleApplication() {
    FMountWatch.reset();
    try {
        ProgramExit();
    } catch (const std::exception& error) {
        // Too late to tell anyone but the log.
        FMain.Log(std::string("Shutdown error: ") + error.what(), llPassFailure);
    }
}

void TBrimbleApplication::ProgramExit() {
    FMountWatch.reset();
    FMain.ProgramExit();
}

} // namespace brimble
