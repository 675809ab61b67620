#include "KeyRouter.h"

#include "MainWindow.h"
#include "OptionsDialog.h"

#include <QApplication>
#include <QKeyEvent>

namespace brimble {

TKeyRouter::TKeyRouter(TBrimbleMainWindow& mainWindow)
    : QObject(&mainWindow), FMainWindow(mainWindow) {
    qApp->installEventFilter(this);
}

TKeyRouter::~TKeyRouter() {
    qApp->removeEventFilter(this);
}

bool TKeyRouter::RouteKey(int key) {
    // Only the program's own windows count: a message box keeps its own Esc.
    const QWidget* active = QApplication::activeWindow();
    TOptionsDialog& options = FMainWindow.OptionsForm();
    if (active == &options) {
        // Esc hides as the close box does: the edits stay until the next showing reads
        // the settings file.
        if (key == Qt::Key_Escape) options.hide();
        if (key == Qt::Key_F1) options.bbtnHelpClick();
        return key == Qt::Key_Escape || key == Qt::Key_F1;
    }
    const bool mainActive = active == &FMainWindow;
    switch (key) {
    case Qt::Key_Escape:
        if (!mainActive) return false;
        FMainWindow.RequestHide();
        return true;
    case Qt::Key_F1:
        if (!mainActive) return false;
        FMainWindow.bbtnHelpClick();
        return true;
    default:
        return false;
    }
}

bool TKeyRouter::eventFilter(QObject* watched, QEvent* event) {
    // A key travels up from the focused widget; only its first delivery is looked at.
    const QWidget* first =
        QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() && watched == first) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier && RouteKey(key->key())) return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace brimble
