#pragma once

// The tray program put together: the UI loop on Qt's event loop, the main window as the
// engine's view, the engine with the options and lists, the tray icon, the keys, and the
// ways the program ends (Exit, the end of the session, a stop signal).

#include "KeyRouter.h"
#include "MainWindow.h"
#include "QtUiLoop.h"
#include "engine/TBrimbleApplication.h"
#include "engine/TErrorBoxGate.h"
#include "options/ProgramFolders.h"
#include "platform/Platform.h"

#include <QApplication>
#include <memory>
#include <string>
#include <vector>

namespace brimble {

// Qt's application with a last guard: an error that an event handler of a window lets out
// goes where unhandled errors go (the loop's handler while a tray program runs) instead of
// out of Qt's event loop.
class TGuardedApplication final : public QApplication {
public:
    TGuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
    // The loop whose handler takes the errors; null for none (standard error).
    void SetLoop(QtUiLoop* loop) { FLoop = loop; }

private:
    QtUiLoop* FLoop = nullptr;
};

class TTrayProgram {
public:
    // The QApplication exists. TrayAvailable is what the desktop offers; without a tray
    // the window stays reachable (shown at start, closing asks whether to quit).
    // Desktop: the dialogs and services the windows use; the desktop's own when null.
    TTrayProgram(Platform& platform, const TProgramFolders& folders, bool trayAvailable,
                 IDesktop* desktop = nullptr);
    // Runs the shutdown if nothing did yet, so the lists are saved.
    ~TTrayProgram();
    TTrayProgram(const TTrayProgram&) = delete;
    TTrayProgram& operator=(const TTrayProgram&) = delete;

    // Qt's event loop until ProgramExit.
    int Exec();
    // A stop signal or the end of the session: the same shutdown as Exit.
    void RequestExit();

    QtUiLoop& Loop() { return FLoop; }
    TBrimbleMainWindow& Window() { return *FWindow; }
    TBrimbleApplication& Application() { return *FApplication; }
    TKeyRouter& Keys() { return *FKeys; }

private:
    // Logs the error with the stack of its throw and shows the report.
    void ReportUnhandledError(const std::string& text);
    void ShowErrorReport(TfrmBrimblemain& engine, const std::string& text,
                         const std::vector<std::string>& stack);

    QtUiLoop FLoop;
    std::unique_ptr<IDesktop> FOwnDesktop; // when none was given
    std::unique_ptr<TBrimbleMainWindow> FWindow;
    TKeyRouter* FKeys = nullptr; // a child of the window
    std::unique_ptr<TBrimbleApplication> FApplication;
    TErrorBoxGate FErrorBoxes;
};

// Whether a desktop is there to show windows on; the reason when not.
std::string DisplayProblem(IProcess& process);
// The refusal of a second start, on standard error and in a message box when a display is
// there. Returns the exit code.
int RefuseStart(const TStartCheck& check, bool withMessageBox);
// The message box of the refusal; returns when the user has closed it.
void ShowStartRefusal(const std::string& message);

} // namespace brimble
