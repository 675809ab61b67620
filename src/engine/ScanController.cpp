// A manual scan of one folder from Go to its end: the checks, the fresh statistics and
// excluded folders, the hand-over to the scan thread, and Stop.

#include "engine/VolumeQueries.h"
#include "engine/uMain.h"
#include "threads/TScanPathThread.h"

#include <exception>
#include <string>

namespace brimble {

TScanStart TfrmBrimblemain::GoScanPath(const std::string& ScanPath) {
    if (FProcessingDriveIdx == pdiDelayedRun) return TScanStart::ssScanInProgress;
    IFileSystem& fs = FPlatform.FileSystem();
    // A path whose drive the platform cannot tell is no usable path either (such as "C:").
    if (!fs.IsAcceptableScanPath(ScanPath) || fs.DriveOfPath(ScanPath).empty())
        return TScanStart::ssIncorrectPath;
    // The excluded folders may be rebuilt only while no walk reads them.
    if (ScanRunning()) return TScanStart::ssScanInProgress;

    ResetStats();
    FScanError.clear();
    FProcessingDriveIdx = pdiFolderScan;
    RebuildExpandedFolders();
    return StartScan(ScanPath) ? TScanStart::ssStarted : TScanStart::ssWrongDrive;
}

void TfrmBrimblemain::RebuildExpandedFolders() {
    if (!FExpandedFoldersList) FExpandedFoldersList = std::make_unique<std::vector<std::string>>();
    FExpandedFoldersList->clear();
    const char delimiter = FPlatform.FileSystem().PathDelimiter();
    for (const std::string& entry : FOptions->ExcludeFolders) {
        // Only the name counts, the text before the first "="; an entry without one has none.
        const std::size_t equals = entry.find('=');
        std::string name = equals == std::string::npos ? std::string() : entry.substr(0, equals);
        if (name.starts_with('%')) name = ExpandEnvVar(FPlatform.Process(), name);
        if (name.empty()) continue;
        if (name.back() != delimiter) name += delimiter;
        FExpandedFoldersList->push_back(std::move(name));
    }
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

} // namespace brimble
