#pragma once

// Runs held by the user's Pause before their first file: the engine is then in the state of
// a running scan, reached through its own buttons, while the test handles files itself. A
// paused walk hands over nothing, so only what the test does is counted.

#include "engine/uMain.h"
#include "support/RecordingView.h"

#include <string>

namespace brimble::test {

// Go in "Scan disks" with only the first qualifying drive ticked, then Pause: the run state
// is that drive's index, 0.
inline void StartPausedDriveScan(TfrmBrimblemain& engine, RecordingView& view) {
    view.scanArea = ScanArea::saDisks;
    engine.RefreshDriveList();
    for (std::size_t i = 0; i < view.driveItems.size(); ++i)
        view.driveItems[i].Checked = i == 0;
    engine.spdbtnGoClick();
    engine.spdbtnPauseClick();
}

// Go in "Scan path" with Folder, then Pause: the run state is pdiFolderScan.
inline void StartPausedFolderScan(TfrmBrimblemain& engine, RecordingView& view,
                                  const std::string& folder) {
    view.scanArea = ScanArea::saPath;
    view.scanPath = folder;
    engine.spdbtnGoClick();
    engine.spdbtnPauseClick();
}

} // namespace brimble::test
