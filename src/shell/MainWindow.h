#pragma once

// The main window: the drive list, the scan controls, the totals and the status bar, with
// the tray icon and its menu. It is the engine's view; its buttons call the engine.

#include "Desktop.h"
#include "WidgetTranslation.h"
#include "engine/IMainView.h"

#include <QIcon>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QSystemTrayIcon;

namespace Ui {
class frmBrimblemain;
}

namespace brimble {

class QtUiLoop;
class TBrimbleApplication;
class TOptionsDialog;
class TfrmAboutBox;
class TfrmErrorReport;
class TWaitingFilesWindow;

// The six pictures of the image list, by their fixed indexes.
inline constexpr int kImageTrayIdle = 0;
inline constexpr int kImageTrayBusy = 1;
inline constexpr int kImageOptions = 2;
inline constexpr int kImageAbout = 3;
inline constexpr int kImageExit = 4;
inline constexpr int kImageHelp = 5;
inline constexpr int kImageCount = 6;

// One of the program's SVG pictures (":/icons/NAME.svg"), drawn for every size asked.
QIcon ProgramPicture(const char* name);

class TBrimbleMainWindow final : public QWidget, public IMainView {
    Q_OBJECT

public:
    TBrimbleMainWindow(QtUiLoop& loop, IDesktop& desktop);
    ~TBrimbleMainWindow() override;
    TBrimbleMainWindow(const TBrimbleMainWindow&) = delete;
    TBrimbleMainWindow& operator=(const TBrimbleMainWindow&) = delete;

    // The engine whose buttons these are; null detaches (before the engine goes).
    void Attach(TBrimbleApplication* application);
    // Whether hiding leaves a way back: a notification area shows the tray icon.
    void SetTrayAvailable(bool available) { FTrayAvailable = available; }
    bool TrayAvailable() const { return FTrayAvailable; }
    // A close request (close box, Close button, Esc): hide while the tray icon is there;
    // without one ask whether to quit, so the window never hides into nothing.
    void RequestHide();

    QSystemTrayIcon& TrayIcon() { return *FTrayIcon; }
    TOptionsDialog& OptionsForm() { return *FOptionsDialog; }
    TfrmAboutBox& AboutBox() { return *FAboutBox; }
    TfrmErrorReport& ErrorReport() { return *FErrorReport; }
    TWaitingFilesWindow& WaitingFiles() { return *FWaitingFiles; }
    // Which of the program's windows Widget is; none for another.
    std::optional<ViewWindow> WindowKind(const QWidget* widget) const;
    // Hides one of the program's windows as Esc does.
    void HideWindow(ViewWindow window);
    // A help topic, as every help request of the windows opens it.
    void OpenHelp(const std::string& topic) { FDesktop.OpenHelp(topic); }
    QMenu& PopupMenu() { return *FPopupMenu; }
    int TrayImage() const { return FTrayImage; }
    const QIcon& Image(int index) const { return FImageList.at(static_cast<std::size_t>(index)); }

    // --- IMainView ---
    void SetStatLabel(StatLabel label, const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void Repaint() override;
    void SetTrayIconImage(int index) override;
    void BringFormToFront(ViewWindow window) override;
    void BrowseForFolder(ViewWindow owner, const std::string& title, std::string& folder) override;
    void SetControlEnabled(ScanControl control, bool enabled) override;
    bool ControlEnabled(ScanControl control) override;
    ScanArea SelectedScanArea() override;
    std::string ScanPathText() override;
    void SetScanPathText(const std::string& path) override;
    std::vector<TDriveItem> DriveItems() override;
    void SetDriveItems(const std::vector<TDriveItem>& items) override;
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    void TranslateWindow(ViewWindow window, const TLanguageNode& element) override;
    void SetNoDrivesText(const std::string& text) override;
    void SetTotalsEstimated(bool estimated) override;

    // The handlers of the window's controls and of the tray menu.
    void miCompressClick();
    void miOptionsClick();
    void miHelpClick();
    void miAboutClick();
    void miWaitingFilesClick();
    void miExitClick();
    void bbtnHelpClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildTray();
    void ConnectControls();
    // The widget of a scan control; none for one of a window that does not exist yet.
    QWidget* Control(ScanControl control) const;
    // Runs an engine call from a control; an error goes where unhandled errors go.
    void Engine(const std::function<void(TBrimbleApplication&)>& call);
    // Called when Stop is disabled: after a run started here ends, tell a user who has the
    // window hidden.
    void CheckRunEnded();

    QtUiLoop& FLoop;
    IDesktop& FDesktop;
    std::unique_ptr<Ui::frmBrimblemain> FUi;
    // A window of its own, not a child: it shows while the main window is hidden.
    std::unique_ptr<TOptionsDialog> FOptionsDialog;
    std::unique_ptr<TfrmAboutBox> FAboutBox;
    std::unique_ptr<TfrmErrorReport> FErrorReport;
    std::unique_ptr<TWaitingFilesWindow> FWaitingFiles;
    TTranslationReport FTranslationReport;
    TBrimbleApplication* FApplication = nullptr;
    std::array<QIcon, kImageCount> FImageList;
    QLabel* FNoDrives = nullptr;          // a child of the drive list's viewport
    QSystemTrayIcon* FTrayIcon = nullptr; // children of the window
    QMenu* FPopupMenu = nullptr;
    QAction* FmiCompress = nullptr;
    QAction* FmiOptions = nullptr;
    QAction* FmiHelp = nullptr;
    QAction* FmiAbout = nullptr;
    QAction* FmiWaitingFiles = nullptr;
    QAction* FmiExit = nullptr;
    int FTrayImage = kImageTrayIdle;
    bool FTrayAvailable = true;
    bool FShownOnce = false;
    bool FRunStartedHere = false;
    // The Total group's own caption while an estimate's title stands in its place.
    bool FTotalsEstimated = false;
    QString FTotalCaption;
};

} // namespace brimble
