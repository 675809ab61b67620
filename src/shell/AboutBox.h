#pragma once

// The about box: the product name, the version, the links, the copyright; its picture and
// copyright open help, and Ctrl + right-click on the product name raises a real error, so
// the error report can be tried.

#include "Desktop.h"
#include "engine/AboutTexts.h"

#include <QWidget>
#include <memory>

namespace Ui {
class frmAboutBox;
}

namespace brimble {

class QtUiLoop;

class TfrmAboutBox final : public QWidget {
    Q_OBJECT

public:
    TfrmAboutBox(QtUiLoop& loop, IDesktop& desktop);
    ~TfrmAboutBox() override;
    TfrmAboutBox(const TfrmAboutBox&) = delete;
    TfrmAboutBox& operator=(const TfrmAboutBox&) = delete;

    // The texts of this program (version, links): set once the program's file is known.
    void FormCreate(const TAboutTexts& texts);

    void imgProgramIconDblClick();
    void htlblCopyrightDblClick();
    // Ctrl + right button: the error test, whose error goes where unhandled errors go.
    void lblProductNameMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    void bbtnOkClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QtUiLoop& FLoop;
    IDesktop& FDesktop;
    std::unique_ptr<Ui::frmAboutBox> FUi;
};

} // namespace brimble
