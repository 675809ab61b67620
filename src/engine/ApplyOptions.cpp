#include "engine/uMain.h"

#include <exception>

namespace brimble {

namespace {

constexpr const char* kAutorunName = "Brimble";

enum TAutorunAction { arWrite = 0, arDelete = 1, arQuery = 2 };

} // namespace

void TfrmBrimblemain::OptionsChanged() {
    if (FShuttingDown) return;
    if (FProgramJustStarted) {
        FProgramJustStarted = false;
        if (!FOptions->StartHidden && !FWindowless) FView.BringFormToFront(ViewWindow::Main);
    }
    if (!FWindowless && AutorunEntry(kAutorunName, arQuery) != FOptions->Autostart)
        AutorunEntry(kAutorunName, FOptions->Autostart ? arWrite : arDelete);
    ApplyLanguage();
    ApplyTimerOptions();
    if (FOptions->SmartCompressMode == TSmartCompressMode::scmOnIdle) LogIdleSource();
    SetPriority(FOptions->Priority);
    // Watcher reports and delayed passes decide by them too, not only scans.
    RebuildExpandedFolders();
    RefreshDriveList();
}

void TfrmBrimblemain::LogIdleSource() {
    GetIdleTime(); // a platform learns its source with the first query
    const std::string source = FOptions->IdleFromMachineLoad
                                   ? "the machine's load (the option IdleFromMachineLoad)"
                                   : FPlatform.Clock().IdleSource();
    if (source == FLoggedIdleSource) return;
    FLoggedIdleSource = source;
    Log("Idle time from " + source, llNotice);
}

bool TfrmBrimblemain::AutorunEntry(const std::string& Name, int Action) {
    IProcess& process = FPlatform.Process();
    switch (Action) {
    case arWrite:
        return static_cast<bool>(process.SetAutostart(Name, process.ProgramPath(), true));
    case arDelete:
        return static_cast<bool>(process.SetAutostart(Name, {}, false));
    case arQuery:
        return process.AutostartExists(Name);
    default:
        return false;
    }
}

void TfrmBrimblemain::SetPriority(PriorityLevel Value) {
    IProcess& process = FPlatform.Process();
    process.SetProcessPriority(Value);
    process.SetCurrentThreadPriority(Value);
    // The scan thread takes it itself at its next file.
    if (FScanPathThread) FScanPathThread->SetPriority(process, Value);
    SetEstimatePriority(Value); // its workers too, each before its next file
}

void TfrmBrimblemain::ApplyLanguage() {
    IFileSystem& fs = FPlatform.FileSystem();
    const std::string path = LanguageFileName(fs, FFolders.LanguagesDir, FOptions->Language);
    // No file (no language chosen, "English (default)"): the texts stay as they are.
    if (!fs.FileExists(path)) return;
    const std::optional<TLanguageFile> file = ReadLanguageFile(fs, path);
    if (!file) {
        Log("Language file \"" + LogName(path) + "\" is not readable XML; not applied", llTrace);
        return;
    }
    ApplyLanguageVariables(*file, FMessageTexts);
    for (const ViewWindow window : {ViewWindow::Main, ViewWindow::Options, ViewWindow::About,
                                    ViewWindow::ErrorReport, ViewWindow::WaitingFiles}) {
        const TLanguageNode* element =
            file->Window(kLanguageWindows[static_cast<std::size_t>(window)]);
        if (!element) continue;
        try {
            FView.TranslateWindow(window, *element);
        } catch (const std::exception& error) {
            Log(std::string("Translation error: ") + error.what(), llNotice);
        }
    }
}

void TfrmBrimblemain::DeviceChanged() {
    if (FShuttingDown || ScanRunning()) return;
    RefreshDriveList();
}

void TfrmBrimblemain::ProgramExit() {
    if (FShuttingDown) return;
    if (FProcessingDriveIdx == pdiDelayedRun) {
        // A message that the delayed run let through: the run still uses the lists, so it
        // ends first and the shutdown follows.
        FExitAfterDelayedRun = true;
        StopScan();
        return;
    }
    FShuttingDown = true;
    // First, so that no timer pass starts on lists that are being saved.
    FtmrIncessant->SetEnabled(false);
    FtmrDelayedCompress->SetEnabled(false);
    FRefreshDrivesAfterRun = false; // a run that ends now starts no watchers
    if (FHandOverDepth > 0) {
        // A message box inside a call that a worker handed over: the worker waits for a
        // frame below this one, so joining it here would wait forever. It is asked to stop,
        // the lists are saved now, and the join follows once the call has returned.
        if (ScanRunning()) StopScan();
        FProcessingDriveIdx = pdiIdle;
        SaveLists();
        Log("Program terminated", llNotice);
        FUiLoop.Quit();
        return;
    }
    StopMonitoring();
    if (FScanPathThread) {
        if (ScanRunning()) StopScan();
        // Joined here: the walk ends after its current entry and reports nothing more.
        FScanPathThread.reset();
        FWalkOutstanding = false;
        FProcessingDriveIdx = pdiIdle;
    }
    SaveLists();
    Log("Program terminated", llNotice);
    FUiLoop.Quit();
}

} // namespace brimble
