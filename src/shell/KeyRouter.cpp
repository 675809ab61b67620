#include "KeyRouter.h"

#include "MainWindow.h"
#include "OptionsDialog.h"
#include "engine/HelpTopics.h"

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
    const std::optional<ViewWindow> active = FMainWindow.WindowKind(QApplication::activeWindow());
    if (!active) return false;
    switch (key) {
    case Qt::Key_Escape:
        // The options dialog hides as its close box does: the edits stay until the next
        // showing reads the settings file.
        FMainWindow.HideWindow(*active);
        return true;
    case Qt::Key_F1:
        if (*active == ViewWindow::Options) {
            FMainWindow.OptionsForm().bbtnHelpClick();
            return true;
        }
        if (const std::optional<std::string> topic = F1HelpTopic(*active, {})) {
            FMainWindow.OpenHelp(*topic);
            return true;
        }
        return false;
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
