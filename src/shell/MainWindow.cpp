#include "MainWindow.h"

#include "AboutBox.h"
#include "ErrorReport.h"
#include "OptionsDialog.h"
#include "QtText.h"
#include "QtUiLoop.h"
#include "WaitingFilesWindow.h"
#include "engine/TBrimbleApplication.h"
#include "ui_frmBrimblemain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidgetItem>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>
#include <QSystemTrayIcon>
#include <QTimer>

// The pictures live in this static library: their registration must be pulled in by hand.
static void InitPictures() {
    Q_INIT_RESOURCE(brimble);
}

namespace brimble {

namespace {

// A window the program keeps: in the middle of the screen when shown, then in front.
void ShowCentred(QWidget& window) {
    if (!window.isVisible())
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    window.raise();
    window.activateWindow();
}

// Drawn by our own renderer rather than by an icon-engine plugin, so that the pictures
// show on a machine that lacks the plugin.
QPixmap RenderPicture(QSvgRenderer& renderer, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

} // namespace

QIcon ProgramPicture(const char* name) {
    InitPictures();
    QSvgRenderer renderer(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128})
        icon.addPixmap(RenderPicture(renderer, size));
    return icon;
}

TBrimbleMainWindow::TBrimbleMainWindow(QtUiLoop& loop, IDesktop& desktop)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FLoop(loop), FDesktop(desktop), FUi(std::make_unique<Ui::frmBrimblemain>()),
      FOptionsDialog(std::make_unique<TOptionsDialog>(loop, desktop)),
      FAboutBox(std::make_unique<TfrmAboutBox>(loop, desktop)),
      FErrorReport(std::make_unique<TfrmErrorReport>(desktop)),
      FWaitingFiles(std::make_unique<TWaitingFilesWindow>(loop, desktop)) {
    FUi->setupUi(this);
    setFixedSize(548, 319);
    FImageList = {ProgramPicture("tray-idle"), ProgramPicture("tray-busy"),
                  ProgramPicture("options"),   ProgramPicture("about"),
                  ProgramPicture("exit"),      ProgramPicture("help")};
    setWindowIcon(ProgramPicture("brimble"));

    FUi->spdbtnGo->setIcon(ProgramPicture("go"));
    FUi->spdbtnPause->setIcon(ProgramPicture("pause"));
    FUi->spdbtnStop->setIcon(ProgramPicture("stop"));
    FUi->bbtnOK->setIcon(ProgramPicture("close"));
    FUi->bbtnHelp->setIcon(Image(kImageHelp));
    FUi->bbtnOptions->setIcon(Image(kImageOptions));
    // Over the empty drive list: why no volume qualifies.
    FNoDrives = new QLabel(FUi->chklstbDrives->viewport());
    FNoDrives->setWordWrap(true);
    FNoDrives->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FNoDrives->setMargin(3);
    FNoDrives->setGeometry(FUi->chklstbDrives->viewport()->rect());
    FNoDrives->hide();
    // Flat buttons take no focus, as the window's tab order has no place for them.
    for (QToolButton* flat :
         {FUi->spdbtnGo, FUi->spdbtnPause, FUi->spdbtnStop, FUi->sbtnBrowseFolder})
        flat->setFocusPolicy(Qt::NoFocus);

    // The hot-track and grey-text colours of the layout, taken from the desktop's palette.
    const QPalette base = palette();
    QPalette hot = base;
    hot.setColor(QPalette::WindowText, base.color(QPalette::Link));
    FUi->lblCompressedFilesT_Size->setPalette(hot);
    FUi->lblCompressedFilesT_Percent->setPalette(hot);
    QPalette grey = base;
    grey.setColor(QPalette::WindowText, base.color(QPalette::Disabled, QPalette::WindowText));
    FUi->lblPreservedSpaceT_Size->setPalette(grey);

    BuildTray();
    ConnectControls();
}

TBrimbleMainWindow::~TBrimbleMainWindow() = default;

void TBrimbleMainWindow::Attach(TBrimbleApplication* application) {
    FApplication = application;
    FOptionsDialog->Attach(application ? &application->OptionsDialog() : nullptr);
    FErrorReport->SetMessageTexts(application ? &application->Main().MessageTexts() : nullptr);
    FWaitingFiles->Attach(application ? &application->Main() : nullptr);
    FOptionsDialog->SetShowWaitingFiles([this] { miWaitingFilesClick(); });
    FTranslationReport.SetLog([this](const std::string& line) {
        if (FApplication) FApplication->Main().Log(line, llTrace);
    });
    if (application)
        FAboutBox->FormCreate(AboutBoxTexts(application->Main().GetPlatform().Process()));
}

void TBrimbleMainWindow::BuildTray() {
    FPopupMenu = new QMenu(this);
    FPopupMenu->setObjectName("PopupMenu");
    const auto item = [this](const char* name, const char* caption, int image,
                             void (TBrimbleMainWindow::*handler)()) {
        QAction* action = FPopupMenu->addAction(Image(image), QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    FmiCompress =
        item("miCompress", "Compress", kImageTrayBusy, &TBrimbleMainWindow::miCompressClick);
    FmiOptions = item("miOptions", "Options", kImageOptions, &TBrimbleMainWindow::miOptionsClick);
    FmiWaitingFiles = item("miWaitingFiles", "Files that wait", kImageOptions,
                           &TBrimbleMainWindow::miWaitingFilesClick);
    FmiHelp = item("miHelp", "Help", kImageHelp, &TBrimbleMainWindow::miHelpClick);
    FmiAbout = item("miAbout", "About", kImageAbout, &TBrimbleMainWindow::miAboutClick);
    FmiExit = item("miExit", "Exit", kImageExit, &TBrimbleMainWindow::miExitClick);

    FTrayIcon = new QSystemTrayIcon(Image(kImageTrayIdle), this);
    FTrayIcon->setObjectName("TrayIcon");
    FTrayIcon->setToolTip(QStringLiteral("Brimble"));
    FTrayIcon->setContextMenu(FPopupMenu);
    // Asked once: the tray host stays for the session.
    const bool clickActivates = FDesktop.TrayHostActivatesOnClick();
    connect(FTrayIcon, &QSystemTrayIcon::activated, this,
            [this, clickActivates](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick ||
                    (clickActivates && reason == QSystemTrayIcon::Trigger))
                    miOptionsClick();
            });
    FTrayIcon->show();
}

void TBrimbleMainWindow::ConnectControls() {
    connect(FUi->spdbtnGo, &QToolButton::clicked, this, [this] {
        Engine([this](TBrimbleApplication& app) {
            app.Main().spdbtnGoClick();
            if (app.Main().ScanRunning()) FRunStartedHere = true;
        });
    });
    connect(FUi->btnEstimate, &QPushButton::clicked, this, [this] {
        Engine([this](TBrimbleApplication& app) {
            app.Main().btnEstimateClick();
            if (app.Main().ScanRunning()) FRunStartedHere = true;
        });
    });
    connect(FUi->spdbtnPause, &QToolButton::clicked, this,
            [this] { Engine([](TBrimbleApplication& app) { app.Main().spdbtnPauseClick(); }); });
    connect(FUi->spdbtnStop, &QToolButton::clicked, this,
            [this] { Engine([](TBrimbleApplication& app) { app.Main().spdbtnStopClick(); }); });
    connect(FUi->rdbScanDisks, &QRadioButton::clicked, this,
            [this] { Engine([](TBrimbleApplication& app) { app.Main().rgrpScanAreaClick(); }); });
    connect(FUi->rdbScanPath, &QRadioButton::clicked, this,
            [this] { Engine([](TBrimbleApplication& app) { app.Main().rgrpScanAreaClick(); }); });
    connect(FUi->sbtnBrowseFolder, &QToolButton::clicked, this, [this] {
        Engine([](TBrimbleApplication& app) { app.Main().sbtnBrowseFolderClick(); });
    });
    connect(FUi->bbtnOK, &QPushButton::clicked, this, &TBrimbleMainWindow::RequestHide);
    connect(FUi->bbtnHelp, &QPushButton::clicked, this, &TBrimbleMainWindow::bbtnHelpClick);
    connect(FUi->bbtnOptions, &QPushButton::clicked, this, &TBrimbleMainWindow::miOptionsClick);
}

void TBrimbleMainWindow::Engine(const std::function<void(TBrimbleApplication&)>& call) {
    if (!FApplication || FApplication->Main().ShuttingDown()) return;
    RunGuarded(FLoop, [&] { call(*FApplication); });
}

// --- the tray menu and the buttons ---

void TBrimbleMainWindow::miCompressClick() {
    BringFormToFront(ViewWindow::Main);
}

void TBrimbleMainWindow::miOptionsClick() {
    BringFormToFront(ViewWindow::Options);
}

void TBrimbleMainWindow::miHelpClick() {
    FDesktop.OpenHelp("about");
}

void TBrimbleMainWindow::bbtnHelpClick() {
    FDesktop.OpenHelp("compress");
}

void TBrimbleMainWindow::miAboutClick() {
    BringFormToFront(ViewWindow::About);
}

void TBrimbleMainWindow::miWaitingFilesClick() {
    BringFormToFront(ViewWindow::WaitingFiles);
}

void TBrimbleMainWindow::miExitClick() {
    Engine([](TBrimbleApplication& app) { app.ProgramExit(); });
}

void TBrimbleMainWindow::RequestHide() {
    if (FTrayAvailable) {
        hide();
        return;
    }
    const std::string question = FApplication ? FApplication->Main().MessageTexts().QuitWithoutTray
                                              : TMessageTexts().QuitWithoutTray;
    if (FDesktop.AskYesNo(this, question)) miExitClick();
}

void TBrimbleMainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Engine([](TBrimbleApplication& app) { app.Main().RefreshDriveList(); });
}

void TBrimbleMainWindow::closeEvent(QCloseEvent* event) {
    // Only Exit or the end of the session ends the program; a close request hides.
    if (!FApplication || FApplication->Main().ShuttingDown()) return event->accept();
    event->ignore();
    RequestHide();
}

// --- dialogs ---

void TBrimbleMainWindow::ShowMessage(const std::string& text, MessageIcon icon) {
    FDesktop.ShowMessage(this, text, icon);
}

void TBrimbleMainWindow::BrowseForFolder(ViewWindow /*owner*/, const std::string& title,
                                         std::string& folder) {
    const std::string chosen = FDesktop.ChooseFolder(this, title, folder);
    if (!chosen.empty()) folder = chosen;
}

void TBrimbleMainWindow::BringFormToFront(ViewWindow window) {
    switch (window) {
    case ViewWindow::Main:
        if (!FShownOnce) {
            FShownOnce = true;
            if (const QScreen* screen = QGuiApplication::primaryScreen())
                move(screen->availableGeometry().center() - rect().center());
        }
        show();
        raise();
        activateWindow();
        return;
    case ViewWindow::Options:
        FOptionsDialog->ShowOptions();
        return;
    case ViewWindow::About:
        ShowCentred(*FAboutBox);
        return;
    case ViewWindow::ErrorReport:
        ShowCentred(*FErrorReport);
        return;
    case ViewWindow::WaitingFiles:
        FWaitingFiles->ShowWindow();
        return;
    }
}

std::optional<ViewWindow> TBrimbleMainWindow::WindowKind(const QWidget* widget) const {
    if (!widget) return std::nullopt;
    if (widget == this) return ViewWindow::Main;
    if (widget == FOptionsDialog.get()) return ViewWindow::Options;
    if (widget == FAboutBox.get()) return ViewWindow::About;
    if (widget == FErrorReport.get()) return ViewWindow::ErrorReport;
    if (widget == FWaitingFiles.get()) return ViewWindow::WaitingFiles;
    return std::nullopt;
}

void TBrimbleMainWindow::HideWindow(ViewWindow window) {
    switch (window) {
    case ViewWindow::Main:
        return RequestHide();
    case ViewWindow::Options:
        return FOptionsDialog->hide();
    case ViewWindow::About:
        return FAboutBox->hide();
    case ViewWindow::ErrorReport:
        return FErrorReport->hide();
    case ViewWindow::WaitingFiles:
        return FWaitingFiles->hide();
    }
}

// --- what the engine shows ---

void TBrimbleMainWindow::SetStatLabel(StatLabel label, const std::string& text) {
    QLabel* const labels[StatLabelCount] = {
        FUi->lblFilesOnDiskT_Count,         FUi->lblFilesOnDiskT_Size,
        FUi->lblFilesToBeCompressedT_Count, FUi->lblFilesToBeCompressedT_Size,
        FUi->lblCompressedFilesT_Count,     FUi->lblCompressedFilesT_Size,
        FUi->lblCompressedFilesT_Percent,   FUi->lblPreservedSpaceT_Size};
    labels[static_cast<int>(label)]->setText(Q(text));
}

void TBrimbleMainWindow::SetStatusText(const std::string& text) {
    FUi->sbarScanning->showMessage(Q(text));
}

void TBrimbleMainWindow::Repaint() {
    repaint();
}

void TBrimbleMainWindow::SetTrayIconImage(int index) {
    if (index < 0 || index >= kImageCount) return;
    FTrayImage = index;
    FTrayIcon->setIcon(Image(index));
}

QWidget* TBrimbleMainWindow::Control(ScanControl control) const {
    switch (control) {
    case ScanControl::spdbtnGo:
        return FUi->spdbtnGo;
    case ScanControl::btnEstimate:
        return FUi->btnEstimate;
    case ScanControl::spdbtnPause:
        return FUi->spdbtnPause;
    case ScanControl::spdbtnStop:
        return FUi->spdbtnStop;
    case ScanControl::rgrpScanArea:
        return FUi->rgrpScanArea;
    case ScanControl::chklstbDrives:
        return FUi->chklstbDrives;
    case ScanControl::lblScanPath:
        return FUi->lblScanPath;
    case ScanControl::edScanPath:
        return FUi->edScanPath;
    case ScanControl::sbtnBrowseFolder:
        return FUi->sbtnBrowseFolder;
    case ScanControl::btnTryCompressDelayed:
        return &FOptionsDialog->TryCompressButton();
    }
    return nullptr;
}

void TBrimbleMainWindow::SetControlEnabled(ScanControl control, bool enabled) {
    if (QWidget* widget = Control(control)) widget->setEnabled(enabled);
    if (control == ScanControl::spdbtnStop && !enabled && FRunStartedHere)
        // The engine finishes its run state after the controls: look once it has.
        QTimer::singleShot(0, this, &TBrimbleMainWindow::CheckRunEnded);
}

bool TBrimbleMainWindow::ControlEnabled(ScanControl control) {
    const QWidget* widget = Control(control);
    return widget && widget->isEnabled();
}

ScanArea TBrimbleMainWindow::SelectedScanArea() {
    return FUi->rdbScanPath->isChecked() ? ScanArea::saPath : ScanArea::saDisks;
}

std::string TBrimbleMainWindow::ScanPathText() {
    return S(FUi->edScanPath->text());
}

void TBrimbleMainWindow::SetScanPathText(const std::string& path) {
    FUi->edScanPath->setText(Q(path));
}

std::vector<TDriveItem> TBrimbleMainWindow::DriveItems() {
    std::vector<TDriveItem> items;
    for (int i = 0; i < FUi->chklstbDrives->count(); ++i) {
        const QListWidgetItem* item = FUi->chklstbDrives->item(i);
        items.push_back({S(item->text()), item->checkState() == Qt::Checked});
    }
    return items;
}

void TBrimbleMainWindow::SetDriveItems(const std::vector<TDriveItem>& items) {
    FUi->chklstbDrives->clear();
    for (const TDriveItem& drive : items) {
        auto* item = new QListWidgetItem(Q(drive.Text), FUi->chklstbDrives);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(drive.Checked ? Qt::Checked : Qt::Unchecked);
    }
}

void TBrimbleMainWindow::SetNoDrivesText(const std::string& text) {
    FNoDrives->setText(Q(text));
    FNoDrives->setToolTip(Q(text));
    FNoDrives->setGeometry(FUi->chklstbDrives->viewport()->rect());
    FNoDrives->setVisible(!text.empty());
}

void TBrimbleMainWindow::SetTotalsEstimated(bool estimated) {
    if (estimated == FTotalsEstimated) return;
    FTotalsEstimated = estimated;
    if (estimated) {
        FTotalCaption = FUi->grpbTotal->title(); // as the language file left it
        if (FApplication)
            FUi->grpbTotal->setTitle(Q(FApplication->Main().MessageTexts().EstimateTotals));
    } else {
        FUi->grpbTotal->setTitle(FTotalCaption);
    }
}

void TBrimbleMainWindow::TranslateWindow(ViewWindow window, const TLanguageNode& element) {
    switch (window) {
    case ViewWindow::Options:
        return FOptionsDialog->Translate(element, FTranslationReport);
    case ViewWindow::About:
        return TranslateWidgets(*FAboutBox, element, FTranslationReport);
    case ViewWindow::ErrorReport:
        return TranslateWidgets(*FErrorReport, element, FTranslationReport);
    case ViewWindow::WaitingFiles:
        return FWaitingFiles->Translate(element, FTranslationReport);
    case ViewWindow::Main:
        break;
    }
    TranslateWidgets(*this, element, FTranslationReport, [this](const TLanguageNode& child) {
        if (child.Name == "TrayIcon") {
            if (const std::string* hint = child.Attribute("Hint")) FTrayIcon->setToolTip(Q(*hint));
            return true;
        }
        if (child.Name != "rgrpScanArea") return false;
        // A radio group: its items are the two buttons.
        if (const std::string* caption = child.Attribute("Caption"))
            FUi->rgrpScanArea->setTitle(Q(*caption));
        if (const TLanguageNode* items = child.Child("Items")) {
            const QStringList texts =
                TranslatedList(*items, {FUi->rdbScanDisks->text(), FUi->rdbScanPath->text()});
            if (texts.size() > 0) FUi->rdbScanDisks->setText(texts[0]);
            if (texts.size() > 1) FUi->rdbScanPath->setText(texts[1]);
        }
        return true;
    });
    if (FTotalsEstimated) { // the new caption is the one to come back to
        FTotalsEstimated = false;
        SetTotalsEstimated(true);
    }
    FitTexts(*this); // the window's places are fixed
}

// --- the end of a run while the window is hidden ---

void TBrimbleMainWindow::CheckRunEnded() {
    if (!FRunStartedHere || !FApplication) return;
    TfrmBrimblemain& engine = FApplication->Main();
    if (engine.ScanRunning() || engine.ShuttingDown()) return;
    FRunStartedHere = false;
    if (isVisible()) return;
    FDesktop.Notify(
        engine.RunIsEstimate() ? engine.MessageTexts().EstimateCompleteTitle
                               : engine.MessageTexts().ScanCompleteTitle,
        S(FUi->lblFilesOnDiskT->text()) + " " + S(FUi->lblFilesOnDiskT_Count->text()) + " (" +
            S(FUi->lblFilesOnDiskT_Size->text()) + ")\n" + S(FUi->lblCompressedFilesT->text()) +
            " " + S(FUi->lblCompressedFilesT_Count->text()) + " (" +
            S(FUi->lblCompressedFilesT_Size->text()) + ")\n" + S(FUi->lblPreservedSpace->text()) +
            " " + S(FUi->lblPreservedSpaceT_Size->text()),
        FTrayAvailable ? FTrayIcon : nullptr);
}

} // namespace brimble
