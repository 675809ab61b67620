#pragma once

// What the engine changes on screen. The main window implements it; tests use a
// recording fake, so every label text and enabled state is checked without a screen.

#include "options/LanguageFile.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace brimble {

// The eight value labels of the "Total" group.
enum class StatLabel {
    FilesOnDiskT_Count,
    FilesOnDiskT_Size,
    FilesToBeCompressedT_Count,
    FilesToBeCompressedT_Size,
    CompressedFilesT_Count,
    CompressedFilesT_Size,
    CompressedFilesT_Percent,
    PreservedSpaceT_Size,
};
inline constexpr int StatLabelCount = 8;

enum class ViewWindow { Main, Options, About, ErrorReport, WaitingFiles };

// The scan controls whose enabled state follows a run. Tag 1 controls of the main window
// (Go, Estimate, the folder button, the drive list, the scan area) and the options dialog's "Try
// compress files now" are enabled only while no scan runs; tag 2 controls (Pause, Stop)
// only while one runs.
enum class ScanControl {
    spdbtnGo,
    btnEstimate,
    spdbtnPause,
    spdbtnStop,
    rgrpScanArea,
    chklstbDrives,
    lblScanPath,
    edScanPath,
    sbtnBrowseFolder,
    btnTryCompressDelayed, // of the options dialog; the last
};
inline constexpr int ScanControlCount = static_cast<int>(ScanControl::btnTryCompressDelayed) + 1;

// Whether a control is enabled while no scan runs (tag 1), not while one runs (tag 2).
constexpr bool EnabledWhileIdle(ScanControl control) {
    return control != ScanControl::spdbtnPause && control != ScanControl::spdbtnStop;
}

// The enabled states of a window that no run has touched yet, by control.
constexpr std::array<bool, ScanControlCount> IdleControlStates() {
    std::array<bool, ScanControlCount> states{};
    for (int i = 0; i < ScanControlCount; ++i)
        states[static_cast<std::size_t>(i)] = EnabledWhileIdle(static_cast<ScanControl>(i));
    return states;
}

// The choices of the scan-area radio group (rgrpScanArea).
enum class ScanArea { saDisks = 0, saPath = 1 };

// One item of the drive check list (chklstbDrives): its text and its tick.
struct TDriveItem {
    std::string Text;
    bool Checked = false;
    bool operator==(const TDriveItem&) const = default;
};

enum class MessageIcon { Information, Warning, Error };

class IMainView {
public:
    virtual ~IMainView() = default;
    virtual void SetStatLabel(StatLabel label, const std::string& text) = 0;
    // The status bar's one simple panel (sbarScanning).
    virtual void SetStatusText(const std::string& text) = 0;
    // Repaints the main window (while a delayed run keeps the UI thread busy).
    virtual void Repaint() = 0;
    // Image index of the main window's image list shown by the tray icon.
    virtual void SetTrayIconImage(int index) = 0;
    // Shows the window and makes it the foreground window.
    virtual void BringFormToFront(ViewWindow window) = 0;
    // Modal folder picker; Folder is left unchanged when the user cancels.
    virtual void BrowseForFolder(ViewWindow owner, const std::string& title,
                                 std::string& folder) = 0;

    // --- scan controls ---
    virtual void SetControlEnabled(ScanControl control, bool enabled) = 0;
    virtual bool ControlEnabled(ScanControl control) = 0;
    virtual ScanArea SelectedScanArea() = 0;
    // The folder typed into edScanPath.
    virtual std::string ScanPathText() = 0;
    virtual void SetScanPathText(const std::string& path) = 0;
    // The drive check list as it stands, the user's ticks included.
    virtual std::vector<TDriveItem> DriveItems() = 0;
    // Replaces every item of the drive check list.
    virtual void SetDriveItems(const std::vector<TDriveItem>& items) = 0;
    // A message box with the caption "Brimble"; returns when the user has closed it.
    virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
    // Applies a language file's element of one window to that window's controls. An error
    // raised here is logged and the next window follows.
    virtual void TranslateWindow(ViewWindow /*window*/, const TLanguageNode& /*element*/) {}
    // Signals the end of a manual run in the view's own way (a terminal's bell); false
    // leaves it to the platform's completion sound.
    virtual bool PlayCompletionSound() { return false; }
    // Shown in place of an empty drive list: why no volume qualifies. Empty while the list
    // has drives.
    virtual void SetNoDrivesText(const std::string& /*text*/) {}
    // Whether the totals shown are an estimate's, which changed no file.
    virtual void SetTotalsEstimated(bool /*estimated*/) {}
};

} // namespace brimble
