#include "OptionsDialog.h"

#include "Desktop.h"
#include "MainWindow.h"
#include "QtText.h"
#include "QtUiLoop.h"
#include "WidgetTranslation.h"
#include "engine/TfrmOptions.h"
#include "ui_frmOptions.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyleOptionGroupBox>
#include <QTimer>

namespace brimble {

namespace {

// Files are added to the lists while the dialog is open; the counter looks this often.
constexpr int kCounterRefreshMs = 1000;

} // namespace

TOptionsDialog::TOptionsDialog(QtUiLoop& loop, IDesktop& desktop)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint),
      FLoop(loop), FDesktop(desktop), FUi(std::make_unique<Ui::frmOptions>()) {
    FUi->setupUi(this);
    setModal(false);
    FUi->bbtnHelp->setIcon(ProgramPicture("help"));
    for (QToolButton* flat : {FUi->spdbtnAdd, FUi->spdbtnDel, FUi->spdbtnClear})
        flat->setFocusPolicy(Qt::NoFocus);
    FitFrame();
    FCounterTimer = new QTimer(this);
    FCounterTimer->setInterval(kCounterRefreshMs);
    ConnectControls();
}

TOptionsDialog::~TOptionsDialog() = default;

void TOptionsDialog::ConnectControls() {
    Ui::frmOptions& ui = *FUi;
    connect(ui.bbtnOK, &QPushButton::clicked, this, &TOptionsDialog::bbtnOKClick);
    connect(ui.bbtnCancel, &QPushButton::clicked, this, &TOptionsDialog::bbtnCancelClick);
    connect(ui.bbtnDefaults, &QPushButton::clicked, this, &TOptionsDialog::bbtnDefaultsClick);
    connect(ui.bbtnHelp, &QPushButton::clicked, this, &TOptionsDialog::bbtnHelpClick);
    connect(ui.btnTryCompressDelayed, &QPushButton::clicked, this,
            &TOptionsDialog::btnTryCompressDelayedClick);
    connect(ui.btnWaitingFiles, &QPushButton::clicked, this, [this] {
        if (FShowWaitingFiles) FShowWaitingFiles();
    });
    connect(ui.cbCompressEncrypted, &QCheckBox::clicked, this,
            &TOptionsDialog::cbCompressEncryptedClick);
    for (QRadioButton* mode :
         {ui.rdbSmartCompressDisabled, ui.rdbSmartCompressOnIdle, ui.rdbSmartCompressInteractive})
        connect(mode, &QRadioButton::toggled, this, &TOptionsDialog::rdbSmartCompressChoose);
    for (QCheckBox* size : {ui.cbMaxFileSizeFiltered, ui.cbMaxFileSizeUnfiltered})
        connect(size, &QCheckBox::toggled, this, &TOptionsDialog::ApplyEnabling);
    connect(ui.cbxLanguage, &QComboBox::activated, this, &TOptionsDialog::cbxLanguageChange);
    connect(ui.spdbtnAdd, &QToolButton::clicked, this, &TOptionsDialog::spdbtnAddClick);
    connect(ui.spdbtnDel, &QToolButton::clicked, this, &TOptionsDialog::spdbtnDelClick);
    connect(ui.spdbtnClear, &QToolButton::clicked, this, &TOptionsDialog::spdbtnClearClick);
    connect(ui.vleExcludeFolders, &QListWidget::itemChanged, this,
            [this](QListWidgetItem* item) { FolderEdited(FUi->vleExcludeFolders->row(item)); });
    connect(ui.pctrlOptions, &QTabWidget::currentChanged, this,
            &TOptionsDialog::UpdateDelayedCompressFilesCnt);
    connect(FCounterTimer, &QTimer::timeout, this, [this] {
        if (FUi->pctrlOptions->currentWidget() == FUi->tsCompress) UpdateDelayedCompressFilesCnt();
    });
}

void TOptionsDialog::Guarded(const std::function<void()>& call) {
    if (FForm) RunGuarded(FLoop, call);
}

void TOptionsDialog::FitFrame() {
    // A fixed frame: the described client area, more where the captions or the font need it.
    // Captions changed on pages not shown have not told their layouts yet.
    for (QLayout* layout : findChildren<QLayout*>())
        layout->invalidate();
    // The width every caption asks for; the height without the spacers' slack.
    setFixedSize(QSize(sizeHint().width(), minimumSizeHint().height()).expandedTo(QSize(607, 350)));
}

QPushButton& TOptionsDialog::TryCompressButton() {
    return *FUi->btnTryCompressDelayed;
}

// --- showing ---

void TOptionsDialog::ShowOptions() {
    if (!isVisible()) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    show();
    raise();
    activateWindow();
}

void TOptionsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window brought back from the task bar keeps the user's edits.
    if (event->spontaneous()) return;
    Guarded([this] {
        FForm->LoadOptions(true);
        ShowValues();
        UpdateDelayedCompressFilesCnt();
    });
    PlaceCounter();
    FCounterTimer->start();
}

void TOptionsDialog::hideEvent(QHideEvent* event) {
    FCounterTimer->stop();
    QDialog::hideEvent(event);
}

void TOptionsDialog::UpdateDelayedCompressFilesCnt() {
    if (!FForm) return;
    FUi->lblDelayedCompressFilesCnt->setText(Q(FForm->DelayedCompressFilesCntText()));
    PlaceCounter();
}

void TOptionsDialog::PlaceCounter() {
    QGroupBox& group = *FUi->grpbxDelayedCompress;
    QStyleOptionGroupBox option;
    option.initFrom(&group);
    option.text = group.title();
    option.lineWidth = 1;
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect title = group.style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                      QStyle::SC_GroupBoxLabel, &group);
    QLabel& counter = *FUi->lblDelayedCompressFilesCnt;
    counter.adjustSize();
    counter.move(title.right() + 4, title.center().y() - counter.height() / 2);
    counter.raise();
}

// --- values and controls ---

void TOptionsDialog::ShowValues() {
    const TOptionsDialogValues& v = FForm->Values();
    Ui::frmOptions& ui = *FUi;
    // A mode of no radio button leaves them as they are.
    switch (v.SmartCompressMode) {
    case TSmartCompressMode::scmDisabled:
        ui.rdbSmartCompressDisabled->setChecked(true);
        break;
    case TSmartCompressMode::scmOnIdle:
        ui.rdbSmartCompressOnIdle->setChecked(true);
        break;
    case TSmartCompressMode::scmInteractive:
        ui.rdbSmartCompressInteractive->setChecked(true);
        break;
    }
    ui.cbAutostart->setChecked(v.Autostart);
    ui.cbStartHiddenToTray->setChecked(v.StartHiddenToTray);
    {
        const QSignalBlocker quiet(ui.cbxLanguage);
        ui.cbxLanguage->clear();
        for (const std::string& language : v.LanguageEntries)
            ui.cbxLanguage->addItem(Q(language));
        ui.cbxLanguage->setCurrentIndex(v.LanguageIndex);
    }
    ui.cbMaxFileSizeFiltered->setChecked(v.MaxFileSizeFilteredEnabled);
    ui.sedMaxFileSizeFiltered->setValue(static_cast<int>(v.MaxFileSizeFilteredMb));
    ui.cbMaxFileSizeUnfiltered->setChecked(v.MaxFileSizeUnfilteredEnabled);
    ui.sedMaxFileSizeUnfiltered->setValue(static_cast<int>(v.MaxFileSizeUnfilteredMb));
    ui.cbCompressEncrypted->setChecked(v.CompressEncrypted);
    ui.cbCompressSharedFiles->setChecked(v.CompressSharedFiles);
    ui.cbCompressNewFiles->setChecked(v.CompressNewFiles);
    ui.cbCompressNewFolders->setChecked(v.CompressNewFolders);
    ui.sedCompressionLevel->setValue(v.CompressionLevel);
    ui.cbSmartCompressionLevel->setChecked(v.SmartCompressionLevel);
    ui.cbSmartDecompress->setCurrentIndex(v.SmartDecompressIndex);
    ui.cbCompressionDelay->setCurrentIndex(v.CompressionDelayIndex);
    ui.cbCompressAgainDelay->setCurrentIndex(v.CompressAgainDelayIndex);
    ui.sedMoveToNeverCompressDelay->setValue(v.MoveToNeverCompressDelay);
    ui.sedIdleTime->setValue(v.IdleTime);
    for (const auto& [field, text] : {std::pair{ui.edIncludingFilter, &v.IncludingFilter},
                                      std::pair{ui.edExcludingFilter, &v.ExcludingFilter}}) {
        field->setText(Q(*text));
        field->setCursorPosition(0); // the beginning of a long filter, not its end
    }
    ui.cbCompressUnfiltered->setChecked(v.CompressUnfiltered);
    ui.cbExcludeFolders->setChecked(v.ExcludeFolders);
    ShowFolders();
    ui.cbBeepOnComplete->setChecked(v.BeepOnComplete);
    ui.cboxPriority->setCurrentIndex(v.PriorityIndex);
    ApplyEnabling();
}

void TOptionsDialog::TakeValues() {
    TOptionsDialogValues& v = FForm->Values();
    Ui::frmOptions& ui = *FUi;
    // Enter takes OK while a number field still holds what was typed: settle it first.
    for (TNumberField* field :
         {ui.sedIdleTime, ui.sedMaxFileSizeFiltered, ui.sedMaxFileSizeUnfiltered,
          ui.sedMoveToNeverCompressDelay, ui.sedCompressionLevel})
        field->setValue(field->TypedValue());
    v.SmartCompressMode = CheckedMode();
    v.Autostart = ui.cbAutostart->isChecked();
    v.StartHiddenToTray = ui.cbStartHiddenToTray->isChecked();
    v.LanguageIndex = ui.cbxLanguage->currentIndex();
    v.MaxFileSizeFilteredEnabled = ui.cbMaxFileSizeFiltered->isChecked();
    v.MaxFileSizeFilteredMb = ui.sedMaxFileSizeFiltered->value();
    v.MaxFileSizeUnfilteredEnabled = ui.cbMaxFileSizeUnfiltered->isChecked();
    v.MaxFileSizeUnfilteredMb = ui.sedMaxFileSizeUnfiltered->value();
    v.CompressEncrypted = ui.cbCompressEncrypted->isChecked();
    v.CompressSharedFiles = ui.cbCompressSharedFiles->isChecked();
    v.CompressNewFiles = ui.cbCompressNewFiles->isChecked();
    v.CompressNewFolders = ui.cbCompressNewFolders->isChecked();
    v.CompressionLevel = ui.sedCompressionLevel->value();
    v.SmartCompressionLevel = ui.cbSmartCompressionLevel->isChecked();
    v.SmartDecompressIndex = ui.cbSmartDecompress->currentIndex();
    v.CompressionDelayIndex = ui.cbCompressionDelay->currentIndex();
    v.CompressAgainDelayIndex = ui.cbCompressAgainDelay->currentIndex();
    v.MoveToNeverCompressDelay = ui.sedMoveToNeverCompressDelay->value();
    v.IdleTime = ui.sedIdleTime->value();
    v.IncludingFilter = S(ui.edIncludingFilter->text());
    v.ExcludingFilter = S(ui.edExcludingFilter->text());
    v.CompressUnfiltered = ui.cbCompressUnfiltered->isChecked();
    v.ExcludeFolders = ui.cbExcludeFolders->isChecked();
    // The folder entries are kept in the values as they are edited.
    v.BeepOnComplete = ui.cbBeepOnComplete->isChecked();
    v.PriorityIndex = ui.cboxPriority->currentIndex();
}

TSmartCompressMode TOptionsDialog::CheckedMode() const {
    if (FUi->rdbSmartCompressOnIdle->isChecked()) return TSmartCompressMode::scmOnIdle;
    if (FUi->rdbSmartCompressInteractive->isChecked()) return TSmartCompressMode::scmInteractive;
    return TSmartCompressMode::scmDisabled;
}

void TOptionsDialog::ShowFolders() {
    QListWidget& list = *FUi->vleExcludeFolders;
    const QSignalBlocker quiet(list);
    const int current = list.currentRow();
    list.clear();
    for (const std::string& entry : FForm->Values().ExcludeFolderEntries) {
        auto* item = new QListWidgetItem(Q(ExcludeFolderName(entry)), &list);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
    list.setCurrentRow(std::min(current, list.count() - 1));
}

void TOptionsDialog::FolderEdited(int row) {
    Guarded([this, row] {
        if (row < 0) return;
        const std::string name = S(FUi->vleExcludeFolders->item(row)->text());
        const TFolderEdit result = FForm->RenameExcludeFolder(static_cast<std::size_t>(row), name);
        if (result == TFolderEdit::feDone) return;
        ShowFolders(); // back to the name it had
        FDesktop.ShowMessage(this, FForm->FolderEditRefusal(result, name), MessageIcon::Warning);
    });
}

void TOptionsDialog::ApplyEnabling() {
    Ui::frmOptions& ui = *FUi;
    // The controls as they stand, not the values: this runs also while they are filled.
    TOptionsDialogValues shown;
    shown.SmartCompressMode = CheckedMode();
    ui.sedIdleTime->setEnabled(shown.IdleTimeEnabled());
    for (QWidget* delay :
         std::initializer_list<QWidget*>{ui.lblCompressionDelay, ui.cbCompressionDelay,
                                         ui.lblCompressAgainDelay, ui.cbCompressAgainDelay})
        delay->setEnabled(shown.DelaysEnabled());
    ui.sedMaxFileSizeFiltered->setEnabled(ui.cbMaxFileSizeFiltered->isChecked());
    ui.sedMaxFileSizeUnfiltered->setEnabled(ui.cbMaxFileSizeUnfiltered->isChecked());
}

// --- the handlers ---

void TOptionsDialog::bbtnOKClick() {
    Guarded([this] {
        TakeValues();
        FForm->SaveOptions(false);
    });
    hide(); // also when the save failed: that was said in a box
}

void TOptionsDialog::bbtnCancelClick() {
    Guarded([this] {
        FForm->LoadOptions(true);
        ShowValues();
    });
    hide();
}

void TOptionsDialog::bbtnDefaultsClick() {
    Guarded([this] {
        if (!FDesktop.AskYesNo(this, FForm->MessageTexts().ResetToDefaults)) return;
        FForm->ResetToDefaults();
        ShowValues();
    });
}

void TOptionsDialog::bbtnHelpClick() {
    FDesktop.OpenHelp(TfrmOptions::HelpTopic(S(FUi->pctrlOptions->currentWidget()->objectName())));
}

void TOptionsDialog::btnTryCompressDelayedClick() {
    Guarded([this] { FForm->TryCompressDelayed(); });
    UpdateDelayedCompressFilesCnt();
}

void TOptionsDialog::cbCompressEncryptedClick(bool checked) {
    Guarded([this, checked] {
        if (!FForm->AsksBeforeDecrypt(checked)) return;
        const std::string& described = FForm->MessageTexts().WarnDecrypt;
        // Here nothing is ever decrypted: the described question would say otherwise.
        const std::string question =
            IsWindowsWording("WarnDecrypt", described) ? kDesktopDecryptQuestion : described;
        if (!FDesktop.AskYesNo(this, question)) FUi->cbCompressEncrypted->setChecked(false);
    });
}

void TOptionsDialog::rdbSmartCompressChoose() {
    ApplyEnabling();
}

void TOptionsDialog::cbxLanguageChange(int index) {
    Guarded([this, index] {
        if (index < 0) return;
        if (FForm->LanguageNeedsRestart(S(FUi->cbxLanguage->itemText(index))))
            FDesktop.ShowMessage(this, kRestartToApplyLanguage, MessageIcon::Information);
    });
}

void TOptionsDialog::spdbtnAddClick() {
    Guarded([this] {
        const std::string folder = FDesktop.ChooseFolder(this, "", "");
        if (folder.empty()) return; // cancelled
        const TFolderEdit result = FForm->AddExcludeFolder(folder);
        if (result != TFolderEdit::feDone) {
            FDesktop.ShowMessage(this, FForm->FolderEditRefusal(result, folder),
                                 MessageIcon::Warning);
            return;
        }
        ShowFolders();
        FUi->vleExcludeFolders->setCurrentRow(FUi->vleExcludeFolders->count() - 1);
    });
}

void TOptionsDialog::spdbtnDelClick() {
    Guarded([this] {
        const int row = FUi->vleExcludeFolders->currentRow();
        if (row < 0) return;
        FForm->DeleteExcludeFolder(static_cast<std::size_t>(row));
        ShowFolders();
    });
}

void TOptionsDialog::spdbtnClearClick() {
    Guarded([this] {
        if (!FDesktop.AskYesNo(this, FForm->MessageTexts().ClearExcludeFolders)) return;
        FForm->ClearExcludeFolders();
        ShowFolders();
    });
}

// --- language files ---

void TOptionsDialog::Translate(const TLanguageNode& element, TTranslationReport& report) {
    TranslateWidgets(*this, element, report, [this](const TLanguageNode& child) {
        // The layout words these for the desktop it runs on; a hint still applies.
        const std::string* caption = child.Attribute("Caption");
        if (!caption || !IsWindowsWording(child.Name, *caption)) return false;
        if (const std::string* hint = child.Attribute("Hint"))
            if (auto* widget = findChild<QWidget*>(Q(child.Name))) widget->setToolTip(Q(*hint));
        return true;
    });
    FitFrame();
    PlaceCounter();
}

} // namespace brimble
