// A manual scan of one folder from Go to its end: the checks, the fresh statistics and
// excluded folders, the hand-over to the scan thread, and Stop.

#include "engine/VolumeQueries.h"
#include "engine/uMain.h"
#include "threads/TScanPathThread.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brimble {

TScanStart TfrmBrimblemain::GoScanPath(const std::string& ScanPath) {
    if (FProcessingDriveIdx == pdiDelayedRun) return TScanStart::ssScanInProgress;
    IFileSystem& fs = FPlatform.FileSystem();
    // A path whose drive the platform cannot tell is no usable path either (such as "C:").
    if (!fs.IsAcceptableScanPath(ScanPath) || fs.DriveOfPath(ScanPath).empty())
        return TScanStart::ssIncorrectPath;
    // Every check and the walk see the folder that "." and ".." lead to.
    const std::string path = fs.PathRules().Normalize(ScanPath);
    // The excluded folders may be rebuilt only while no walk reads them.
    if (ScanRunning()) return TScanStart::ssScanInProgress;

    ResetStats();
    FScanError.clear();
    FProcessingDriveIdx = pdiFolderScan;
    RebuildExpandedFolders();
    return StartScan(path) ? TScanStart::ssStarted : TScanStart::ssWrongDrive;
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
        Log("Wrong drive!", 1);
        FPlatform.Process().MessageBeep();
        return false;
    }
    FProcessingDiskClusterSize = static_cast<int32_t>(GetClusterSize(FPlatform.Volumes(), drive));
    Log("Disk cluster size: " + std::to_string(FProcessingDiskClusterSize), 2);

    auto snapshot = std::make_shared<const TScanSnapshot>(
        FPlatform.FileSystem().PathRules(), FOptions->ExcludeFoldersEnabled,
        FExpandedFoldersList ? *FExpandedFoldersList : std::vector<std::string>());
    {
        std::lock_guard lock(FScanSnapshotLock);
        FScanSnapshot = std::move(snapshot);
    }

    if (!FScanPathThread) {
        FScanPathThread = std::make_unique<TScanPathThread>(FPlatform.FileSystem(), FUiLoop, Path);
        FScanPathThread->OnFileFound = [this](TScanPathThread& sender, const std::string& dir,
                                              const TFileAttrRec& entry) {
            HandleFoundFile(&sender, dir, entry);
        };
        FScanPathThread->OnComplete = [this](TScanPathThread& sender, bool scanOK) {
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
    Log("Scan stopped by an error: " + Text, 0);
    StopScan();
}

void TfrmBrimblemain::DirectorySkipped(const void* /*Sender*/, const std::string& Dir,
                                       TDirectorySkip Reason, int ErrorCode) {
    switch (Reason) {
    case TDirectorySkip::dsOtherFileSystem:
        Log("Skipped mount point \"" + LogName(Dir) + "\"", 2);
        return;
    case TDirectorySkip::dsUnlistable:
        Log("Cannot list folder \"" + LogName(Dir) +
                "\": " + FPlatform.FileSystem().SysErrorMessage(ErrorCode),
            1);
        return;
    }
}

void TfrmBrimblemain::ScanComplete(const void* /*Sender*/, bool /*ScanOK*/) {
    FWalkOutstanding = false;
    // A walk stopped just before a delayed run began: that run is not this walk's to end.
    if (FProcessingDriveIdx == pdiDelayedRun) return;
    FinishScanRun();
}

void TfrmBrimblemain::StopScan() {
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
    FView.SetStatusText("");
    FProcessingDriveIdx = pdiIdle;
    if (FOptions->BeepOnComplete) {
        FPlatform.Process().MessageBeep();
        Log("Scan complete!", 2);
    }
}

void TfrmBrimblemain::spdbtnGoClick() {}

void TfrmBrimblemain::spdbtnPauseClick() {}

void TfrmBrimblemain::spdbtnStopClick() {
    StopScan();
}

void TfrmBrimblemain::rgrpScanAreaClick() {}

void TfrmBrimblemain::sbtnBrowseFolderClick() {}

void TfrmBrimblemain::SetScanning(bool /*Scanning*/) {}

int32_t TfrmBrimblemain::GetFirstDriveIdx() {
    return -1;
}

int32_t TfrmBrimblemain::GetLastDriveIdx() {
    return -1;
}

int32_t TfrmBrimblemain::GetNextDriveIdx(int32_t /*Idx*/) {
    return -1;
}

} // namespace brimble
