#pragma once

// What the engine changes on screen. The main window implements it; tests use a
// recording fake, so every label text and enabled state is checked without a screen.

#include <string>

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

enum class ViewWindow { Main, Options, About, ErrorReport };

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
};

} // namespace brimble
