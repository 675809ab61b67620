#pragma once

// Esc and F1 for every window of the program, looked at before the focused control sees
// them: Esc hides the program's active window, F1 opens the help of the active window.

#include <QObject>

namespace brimble {

class TBrimbleMainWindow;

class TKeyRouter final : public QObject {
    Q_OBJECT

public:
    // Installs itself on the application; the main window is its parent.
    explicit TKeyRouter(TBrimbleMainWindow& mainWindow);
    ~TKeyRouter() override;
    TKeyRouter(const TKeyRouter&) = delete;
    TKeyRouter& operator=(const TKeyRouter&) = delete;

    // Whether the key was handled; the focused control gets it otherwise.
    bool RouteKey(int key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TBrimbleMainWindow& FMainWindow;
};

} // namespace brimble
