// brimble [-d[:LEVEL]]: the tray program. One instance per user; it lives in the
// notification area with its main window, until Exit, the end of the session or a stop
// signal, which all save the lists.

#include "TrayProgram.h"
#include "app/ProgramStart.h"
#include "app/StopSignals.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace brimble {

namespace {

int Main(int argc, char** argv, const TStopSignals& signals) {
    std::unique_ptr<Platform> platform = CreatePlatform();
    platform->SetCommandLineArguments(std::vector<std::string>(argv + 1, argv + argc));
    const TProgramFolders folders = ComputeProgramFolders(*platform, "brimble");
    const std::string displayProblem = DisplayProblem(platform->Process());

    TStartCheck check = CheckStartPreconditions(*platform);
    if (check.ExitCode != 0) {
        if (!displayProblem.empty()) return RefuseStart(check, false);
        QApplication app(argc, argv);
        // A stop signal closes the message box.
        const TStopSignalWatch watch(signals, [] {
            QMetaObject::invokeMethod(
                qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        });
        return RefuseStart(check, true);
    }
    if (!displayProblem.empty()) {
        std::cerr << "brimble: " << displayProblem
                  << ".\nThe tray program needs a desktop. Without one, use brimble-scan "
                     "FOLDER for a scan in the terminal, or brimble-watch for the background "
                     "compression.\n";
        return kExitFailed;
    }

    TGuardedApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brimble"));
    QApplication::setApplicationDisplayName(QStringLiteral("Brimble"));
    QGuiApplication::setDesktopFileName(QStringLiteral("brimble"));
    QApplication::setWindowIcon(ProgramPicture("brimble"));

    TTrayProgram program(*platform, folders, QSystemTrayIcon::isSystemTrayAvailable());
    const TDiagnosticsToLog diagnostics(*platform, program.Application().Main());
    const TStopSignalWatch watch(
        signals, [&program] { program.Loop().Post([&program] { program.RequestExit(); }); });
    return program.Exec();
}

} // namespace

} // namespace brimble

int main(int argc, char** argv) {
    // Before any thread exists (Qt starts some), so that no thread takes the stop signals.
    const brimble::TStopSignals signals;
    try {
        return brimble::Main(argc, argv, signals);
    } catch (const std::exception& error) {
        std::cerr << "brimble: " << error.what() << '\n';
    } catch (...) {
        std::cerr << "brimble: unexpected error\n";
    }
    return 1;
}
