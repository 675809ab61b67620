#pragma once

// The options dialog's window: three pages of controls bound to the engine's dialog values
// (TfrmOptions). It is shown without blocking and reads the settings file at each showing;
// what the buttons decide lies in the engine, the window only draws and binds.

#include "options/uOptions.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

class QPushButton;
class QTimer;

namespace Ui {
class frmOptions;
}

namespace brimble {

class IDesktop;
class QtUiLoop;
class TfrmOptions;
struct TLanguageNode;
class TTranslationReport;

// The question of "Compress encrypted files" where encrypted files are never decrypted.
inline constexpr const char* kDesktopDecryptQuestion =
    "Files in encrypted (fscrypt) folders are never decrypted: Brimble leaves them as they "
    "are and logs them as refused. Check it anyway?";

class TOptionsDialog final : public QDialog {
    Q_OBJECT

public:
    TOptionsDialog(QtUiLoop& loop, IDesktop& desktop);
    ~TOptionsDialog() override;
    TOptionsDialog(const TOptionsDialog&) = delete;
    TOptionsDialog& operator=(const TOptionsDialog&) = delete;

    // The engine side; null detaches (before the engine goes).
    void Attach(TfrmOptions* form) { FForm = form; }
    // Shows the dialog (reading the settings file when it was hidden) in front.
    void ShowOptions();
    // A language file's element of this window.
    void Translate(const TLanguageNode& element, TTranslationReport& report);
    // What "Show the files that wait" opens.
    void SetShowWaitingFiles(std::function<void()> show) { FShowWaitingFiles = std::move(show); }
    QPushButton& TryCompressButton();
    void UpdateDelayedCompressFilesCnt();

    // The handlers of the controls.
    void bbtnOKClick();
    void bbtnCancelClick();
    void bbtnDefaultsClick();
    void bbtnHelpClick();
    void btnTryCompressDelayedClick();
    void cbCompressEncryptedClick(bool checked);
    void rdbSmartCompressChoose();
    void cbxLanguageChange(int index);
    void spdbtnAddClick();
    void spdbtnDelClick();
    void spdbtnClearClick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ConnectControls();
    void FitFrame();
    // The dialog's values into the controls, and the controls' into the values.
    void ShowValues();
    void TakeValues();
    TSmartCompressMode CheckedMode() const;
    void ShowFolders();
    void FolderEdited(int row);
    // Which controls are enabled follows the radio buttons and the size check boxes.
    void ApplyEnabling();
    // The counter sits in the title line of its group, right after the caption.
    void PlaceCounter();
    void Guarded(const std::function<void()>& call);

    QtUiLoop& FLoop;
    IDesktop& FDesktop;
    std::unique_ptr<Ui::frmOptions> FUi;
    TfrmOptions* FForm = nullptr;
    QTimer* FCounterTimer = nullptr; // a child
    std::function<void()> FShowWaitingFiles;
};

} // namespace brimble
