// A manual scan from Go to its end, of the ticked drives one after another or of one
// folder: the checks, the fresh statistics and excluded folders, the hand-over to the scan
// thread, Pause, Stop and the enabled states of the scan controls.

#include "engine/DriveTicks.h"
#include "engine/VolumeQueries.h"
#include "engine/uMain.h"
#include "threads/TScanPathThread.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace brimble {

namespace {

// Not among the translatable texts: no language file changes it.
constexpr const char* kWrongDrive = "Wrong drive!";

} // namespace

TScanStart TfrmBrimblemain::GoScanPath(const std::string& ScanPath, bool Estimate) {
    if (FProcessingDriveIdx == pdiDelayedRun) return TScanStart::ssScanInProgress;
    if (!IsScanPathAcceptable(ScanPath)) return TScanStart::ssIncorrectPath;
    // Every check and the walk see the folder that links, "." and ".." lead to; one that
    // cannot be resolved goes as typed, and the walk says why it finds nothing there.
    IFileSystem& fs = FPlatform.FileSystem();
    const OsValue<std::string> resolved = fs.ResolveFolder(ScanPath);
    const std::string path = resolved ? *resolved : fs.PathRules().Normalize(ScanPath);
    // The excluded folders may be rebuilt only while no walk reads them.
    if (ScanRunning()) return TScanStart::ssScanInProgress;

    ResetStats();
    FScanError.clear();
    SetRunKind(Estimate);
    FProcessingDriveIdx = pdiFolderScan;
    RebuildExpandedFolders();
    return StartScan(path) ? TScanStart::ssStarted : TScanStart::ssWrongDrive;
}

bool TfrmBrimblemain::IsScanPathAcceptable(const std::string& ScanPath) {
    IFileSystem& fs = FPlatform.FileSystem();
    // A path whose drive the platform cannot tell is no usable path either (such as "C:").
    return fs.IsAcceptableScanPath(ScanPath) && !fs.DriveOfPath(ScanPath).empty();
}

void TfrmBrimblemain::RebuildExpandedFolders() {
    if (!FExpandedFoldersList) FExpandedFoldersList = std::make_unique<std::vector<std::string>>();
    FExpandedFoldersList->clear();
    for (const std::string& entry : FOptions->ExcludeFolders) {
        std::string folder = ExpandExcludedFolder(entry);
        if (!folder.empty()) FExpandedFoldersList->push_back(std::move(folder));
    }
}

std::string TfrmBrimblemain::ExpandExcludedFolder(const std::string& Entry) {
    // Only the name counts, the text before the first "="; an entry without one has none.
    const std::size_t equals = Entry.find('=');
    std::string name = equals == std::string::npos ? std::string() : Entry.substr(0, equals);
    if (name.starts_with('%')) name = ExpandEnvVar(FPlatform.Process(), name);
    if (name.empty()) return name;
    IFileSystem& fs = FPlatform.FileSystem();
    const char delimiter = fs.PathDelimiter();
    if (name.back() != delimiter) name += delimiter;
    return fs.PathRules().Normalize(name);
}

std::optional<TExcludedFolder> TfrmBrimblemain::CoveringExcludedFolder(const std::string& Folder) {
    if (!FOptions->ExcludeFoldersEnabled) return std::nullopt;
    const IPathRules& rules = FPlatform.FileSystem().PathRules();
    const std::string normalised = rules.Normalize(Folder);
    for (const std::string& entry : FOptions->ExcludeFolders) {
        std::string folder = ExpandExcludedFolder(entry);
        if (!folder.empty() && rules.IsAtOrBelow(normalised, folder))
            return TExcludedFolder{entry, std::move(folder)};
    }
    return std::nullopt;
}

std::shared_ptr<const TScanSnapshot> TfrmBrimblemain::ScanSnapshot() const {
    std::lock_guard lock(FScanSnapshotLock);
    return FScanSnapshot;
}

bool TfrmBrimblemain::StartScan(const std::string& Path) {
    const std::string drive = FPlatform.FileSystem().DriveOfPath(Path);
    if (drive.empty() || !DriveOk(drive, true)) {
        Log("Wrong drive!", llNotice);
        FPlatform.Process().MessageBeep();
        return false;
    }
    if (FRunEstimate && !ChooseEstimateModelOf(drive)) return false;
    FProcessingDiskClusterSize = static_cast<int32_t>(GetClusterSize(FPlatform.Volumes(), drive));
    Log("Disk cluster size: " + std::to_string(FProcessingDiskClusterSize), llTrace);
    // No background compression during a manual run; the refresh at its end restarts it.
    StopMonitoring();

    auto snapshot = std::make_shared<const TScanSnapshot>(
        FPlatform.FileSystem().PathRules(), FOptions->ExcludeFoldersEnabled,
        FExpandedFoldersList ? *FExpandedFoldersList : std::vector<std::string>());
    {
        std::lock_guard lock(FScanSnapshotLock);
        FScanSnapshot = std::move(snapshot);
    }

    if (!FScanPathThread) {
        FScanPathThread = std::make_unique<TScanPathThread>(FPlatform.FileSystem(), FUiLoop, Path);
        // The scan thread waits while these run: an exit from a message box shown inside
        // them must not join it (THandOverScope).
        FScanPathThread->OnFileFound = [this](TScanPathThread& sender, const std::string& dir,
                                              const TFileAttrRec& entry) {
            const THandOverScope handOver(FHandOverDepth);
            HandleFoundFile(&sender, dir, entry);
        };
        FScanPathThread->OnComplete = [this](TScanPathThread& sender, bool scanOK) {
            const THandOverScope handOver(FHandOverDepth);
            ScanComplete(&sender, scanOK);
        };
        FScanPathThread->OnBeforeDirectoryEnter = [this](TScanPathThread& sender,
                                                         const std::string& dir, bool& allowEnter) {
            BeforeDirectoryEnter(&sender, dir, allowEnter);
        };
        FScanPathThread->OnDirectorySkipped =
            [this](TScanPathThread& sender, const std::string& dir, TDirectorySkip reason,
                   int errorCode) { DirectorySkipped(&sender, dir, reason, errorCode); };
        FScanPathThread->Start();
        FScanPathThread->SetPriority(FPlatform.Process(), FOptions->Priority);
    } else {
        FScanPathThread->Scan(Path);
    }
    FWalkOutstanding = true;
    return true;
}

void TfrmBrimblemain::HandleFoundFile(const void* Sender, const std::string& Path,
                                      const TFileAttrRec& FileAttrRec) {
    if (FShuttingDown) return; // a file handed over while the program ended: left alone
    try {
        ProcessFoundFile(Sender, Path, FileAttrRec);
    } catch (const std::exception& error) {
        ScanFailed(error.what());
    } catch (...) {
        ScanFailed("unknown error");
    }
}

void TfrmBrimblemain::ScanFailed(const std::string& Text) {
    // The run cannot be trusted to go on: it ends as Stop ends it, and says why.
    FScanError = Text;
    Log("Scan stopped by an error: " + Text, llPassFailure);
    StopScan();
}

void TfrmBrimblemain::DirectorySkipped(const void* /*Sender*/, const std::string& Dir,
                                       TDirectorySkip Reason, int ErrorCode) {
    switch (Reason) {
    case TDirectorySkip::dsOtherFileSystem:
        Log("Skipped mount point \"" + LogName(Dir) + "\"", llTrace);
        return;
    case TDirectorySkip::dsUnlistable:
        Log("Cannot list folder \"" + LogName(Dir) +
                "\": " + FPlatform.FileSystem().SysErrorMessage(ErrorCode),
            llNotice);
        return;
    }
}

void TfrmBrimblemain::ScanComplete(const void* /*Sender*/, bool /*ScanOK*/) {
    CountEstimates(true); // every file found is in the totals before the run moves on
    FWalkOutstanding = false;
    if (FShuttingDown) return; // the lists are saved: no next drive, no refresh
    // A walk stopped just before a delayed run began: that run is not this walk's to end.
    if (FProcessingDriveIdx == pdiDelayedRun) return;
    if (FProcessingDriveIdx < 0 || FProcessingDriveIdx == GetLastDriveIdx()) {
        FinishScanRun();
        return;
    }
    FProcessingDriveIdx = GetNextDriveIdx(FProcessingDriveIdx);
    if (FProcessingDriveIdx < 0) {
        FinishScanRun(); // no ticked drive follows after all
        return;
    }
    // The scan thread waits for this handler and then walks the new path. An exit from the
    // "Wrong drive!" box has saved the lists and asked the thread to stop meanwhile.
    StartDriveScan(FProcessingDriveIdx);
}

void TfrmBrimblemain::StopScan() {
    CountEstimates(true); // as a real run counts every file it handled before the stop
    if (FProcessingDriveIdx == pdiDelayedRun) {
        FProcessingDriveIdx = pdiIdle; // the delayed run notices and ends
        return;
    }
    const bool running = FProcessingDriveIdx != pdiIdle;
    FProcessingDriveIdx = pdiIdle;
    if (FScanPathThread) {
        // Abort first: a paused walk that woke before it would hand over one more file.
        FScanPathThread->Abort();
        FScanPathThread->Release();
    }
    // No walk will report an end (the drive was refused): end the run here.
    if (running && !FWalkOutstanding) FinishScanRun();
}

void TfrmBrimblemain::FinishScanRun() {
    // What an estimate's totals mean stays beside them.
    FView.SetStatusText(FRunEstimate ? FMessageTexts.EstimateComplete : std::string());
    SetScanning(false);
    FProcessingDriveIdx = pdiIdle;
    FScanDrives.clear();
    if (FOptions->BeepOnComplete) {
        if (!FView.PlayCompletionSound()) FPlatform.Process().PlayCompletionSound();
        Log("Scan complete!", llTrace);
    }
    if (std::exchange(FRefreshDrivesAfterRun, false)) RefreshDriveList();
}

bool TfrmBrimblemain::WalkInProgress() const {
    return FScanPathThread && FWalkOutstanding && FProcessingDriveIdx != pdiIdle &&
           FProcessingDriveIdx != pdiDelayedRun;
}

void TfrmBrimblemain::ShowWarning(const std::string& Text) {
    FView.ShowMessage(Text, MessageIcon::Warning);
}

void TfrmBrimblemain::TakeDriveTicks() {
    const std::vector<TDriveItem> items = FView.DriveItems();
    for (std::size_t i = 0; i < FDriveLettersList.size(); ++i)
        FDriveLettersList[i].Tick = i < items.size() && items[i].Checked ? 1 : 0;
    FScanDrives = FDriveLettersList;
}

bool TfrmBrimblemain::StartDriveScan(int32_t Idx) {
    if (StartScan(FScanDrives[static_cast<std::size_t>(Idx)].Root)) return true;
    // The run stays in its state, without a walk, until Stop.
    ShowWarning(kWrongDrive);
    return false;
}

void TfrmBrimblemain::SetRunKind(bool Estimate) {
    FRunEstimate = Estimate || FEstimateOnly;
    FView.SetTotalsEstimated(FRunEstimate);
}

void TfrmBrimblemain::spdbtnGoClick() {
    StartRunClick(false);
}

void TfrmBrimblemain::btnEstimateClick() {
    StartRunClick(true);
}

void TfrmBrimblemain::StartRunClick(bool Estimate) {
    if (FShuttingDown) return;
    // Go goes on with a paused run of either kind; Estimate only starts one.
    if (Estimate && ScanRunning()) return ShowWarning(FMessageTexts.ScanInProgress);
    if (FProcessingDriveIdx == pdiDelayedRun) return ShowWarning(FMessageTexts.ScanInProgress);
    const bool pathMode = FView.SelectedScanArea() == ScanArea::saPath;
    const std::string scanPath = pathMode ? FView.ScanPathText() : std::string();
    // Also while paused: a bad text keeps the pause, a good one does not change the walk.
    if (pathMode && !IsScanPathAcceptable(scanPath))
        return ShowWarning(FMessageTexts.IncorrectPath);
    // Of ticked volumes, one that cannot be estimated is left out with its reason logged.
    if (Estimate && pathMode)
        if (const std::string why = EstimateRefusal(scanPath); !why.empty())
            return ShowWarning(FMessageTexts.CannotEstimate + " " + why);
    if (WalkInProgress()) {
        SetScanning(true);
        FScanPathThread->Release();
        return;
    }
    // A run without a walk ("Wrong drive!") or a stopped walk that has not ended yet.
    if (ScanRunning()) return ShowWarning(FMessageTexts.ScanInProgress);

    if (pathMode) {
        const TScanStart started = GoScanPath(scanPath, Estimate);
        if (started == TScanStart::ssScanInProgress)
            return ShowWarning(FMessageTexts.ScanInProgress);
        if (started == TScanStart::ssIncorrectPath) return ShowWarning(FMessageTexts.IncorrectPath);
        SetScanning(true);
        FRefreshDrivesAfterRun = true;
        if (started == TScanStart::ssWrongDrive) ShowWarning(kWrongDrive);
        return;
    }

    SetScanning(true);
    ResetStats();
    FScanError.clear();
    SetRunKind(Estimate);
    TakeDriveTicks();
    FProcessingDriveIdx = GetFirstDriveIdx();
    if (FProcessingDriveIdx == pdiIdle) {
        SetScanning(false);
        RefreshDriveList();
        ShowStatus(FMessageTexts.NothingToScan);
        return;
    }
    FRefreshDrivesAfterRun = true;
    RebuildExpandedFolders();
    StartDriveScan(FProcessingDriveIdx);
}

void TfrmBrimblemain::spdbtnPauseClick() {
    if (!WalkInProgress()) return; // after "Wrong drive!" there is nothing to hold
    FScanPathThread->Pause();
    FView.SetControlEnabled(ScanControl::spdbtnGo, true);
    FView.SetControlEnabled(ScanControl::spdbtnPause, false);
    FView.SetControlEnabled(ScanControl::spdbtnStop, true);
}

void TfrmBrimblemain::spdbtnStopClick() {
    StopScan();
}

void TfrmBrimblemain::rgrpScanAreaClick() {
    const bool disks = FView.SelectedScanArea() == ScanArea::saDisks;
    FView.SetControlEnabled(ScanControl::chklstbDrives, disks);
    FView.SetControlEnabled(ScanControl::lblScanPath, !disks);
    FView.SetControlEnabled(ScanControl::edScanPath, !disks);
    FView.SetControlEnabled(ScanControl::sbtnBrowseFolder, !disks);
}

void TfrmBrimblemain::sbtnBrowseFolderClick() {
    std::string folder; // stays empty when the user cancels, and so does the field
    FView.BrowseForFolder(ViewWindow::Main, "", folder);
    FView.SetScanPathText(folder);
}

void TfrmBrimblemain::SetScanning(bool Scanning) {
    for (ScanControl idle : {ScanControl::spdbtnGo, ScanControl::btnEstimate,
                             ScanControl::sbtnBrowseFolder, ScanControl::chklstbDrives,
                             ScanControl::rgrpScanArea, ScanControl::btnTryCompressDelayed})
        FView.SetControlEnabled(idle, !Scanning);
    for (ScanControl running : {ScanControl::spdbtnPause, ScanControl::spdbtnStop})
        FView.SetControlEnabled(running, Scanning);
    if (!Scanning) rgrpScanAreaClick();
}

int32_t TfrmBrimblemain::GetFirstDriveIdx() {
    if (FView.SelectedScanArea() == ScanArea::saPath) return pdiFolderScan;
    return FirstTickedDrive(FScanDrives);
}

int32_t TfrmBrimblemain::GetLastDriveIdx() {
    return LastTickedDrive(FScanDrives);
}

int32_t TfrmBrimblemain::GetNextDriveIdx(int32_t Idx) {
    return NextTickedDrive(FScanDrives, Idx);
}

} // namespace brimble
