#include "TrayProgram.h"

#include "ErrorReport.h"
#include "QtText.h"
#include "app/ThrowStack.h"
#include "engine/ErrorReportText.h"
#include "threads/uCommonFunctions.h"

#include <QApplication>
#include <QMessageBox>
#include <QSessionManager>
#include <QSysInfo>
#include <QSystemTrayIcon>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace brimble {

namespace {

// Whether an X server listens on the local display ":N" (abstract socket first, as the
// socket folder may not be visible in a container).
bool LocalXServerListens(std::string_view display) {
    const std::size_t colon = display.find(':');
    if (colon != 0) return true; // host:N goes over the network: left to Qt
    std::string number(display.substr(1));
    number = number.substr(0, number.find('.'));
    if (number.empty()) return false;
    const std::string path = "/tmp/.X11-unix/X" + number;
    for (const bool abstract : {true, false}) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return true; // cannot tell: let Qt try
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::size_t offset = abstract ? 1 : 0;
        std::memcpy(address.sun_path + offset, path.data(),
                    std::min(path.size(), sizeof(address.sun_path) - offset - 1));
        const auto length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
        const bool connected =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
        ::close(fd);
        if (connected) return true;
    }
    return false;
}

} // namespace

std::string DisplayProblem(IProcess& process) {
    const auto Env = [&process](const char* name) {
        return process.EnvironmentVariable(name).value_or("");
    };
    const std::string platform = Env("QT_QPA_PLATFORM");
    // A platform chosen on purpose (offscreen, vnc) needs no display.
    if (!platform.empty() && platform.rfind("xcb", 0) != 0 && platform.rfind("wayland", 0) != 0)
        return {};
    const std::string wayland = Env("WAYLAND_DISPLAY");
    const std::string x11 = Env("DISPLAY");
    if (!wayland.empty()) return {};
    if (x11.empty()) return "no graphical display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    if (!LocalXServerListens(x11)) return "cannot reach the X display \"" + x11 + "\"";
    return {};
}

void ShowStartRefusal(const std::string& message) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Brimble"),
                    QString::fromStdString(message), QMessageBox::Ok);
    box.exec();
}

int RefuseStart(const TStartCheck& check, bool withMessageBox) {
    if (check.ExitCode == kExitAlreadyRunning)
        std::cerr << check.Message << '\n';
    else
        std::cerr << "brimble: " << check.Message << '\n';
    if (withMessageBox) ShowStartRefusal(check.Message);
    return check.ExitCode;
}

bool TGuardedApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        // Raised again without a new throw, so the stack stays the one of the first.
        const std::exception_ptr error = std::current_exception();
        if (FLoop)
            RunGuarded(*FLoop, [&error] { std::rethrow_exception(error); });
        else
            std::cerr << "brimble: unhandled error in an event handler\n";
        return true;
    }
}

TTrayProgram::TTrayProgram(Platform& platform, const TProgramFolders& folders, bool trayAvailable,
                           IDesktop* desktop)
    : FOwnDesktop(desktop ? nullptr
                          : std::make_unique<TQtDesktop>(
                                HtmlHelpViewer(platform.FileSystem(), folders.HelpDir))),
      FWindow(std::make_unique<TBrimbleMainWindow>(FLoop, desktop ? *desktop : *FOwnDesktop)) {
    // Hidden windows and closed message boxes must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    FLoop.OnUnhandledError = [this](const std::string& text) { ReportUnhandledError(text); };
    FWindow->SetTrayAvailable(trayAvailable);
    FKeys = new TKeyRouter(*FWindow);

    // An error while the windows are made is logged with its stack and reported once the
    // program runs; the start goes on.
    FApplication = std::make_unique<TBrimbleApplication>(
        platform, FLoop, *FWindow, folders, TProgramRole::Tray,
        [this](TfrmBrimblemain& engine, const std::string& text) {
            const std::vector<std::string> stack = StackLines(LastThrowStack());
            std::cerr << "brimble: error during start-up: " << text << '\n';
            LogUnhandledError(engine, text, stack);
            FLoop.Post([this, text, stack] {
                if (!FApplication || FApplication->Main().ShuttingDown()) return;
                if (FErrorBoxes.Admit(text)) ShowErrorReport(FApplication->Main(), text, stack);
            });
        });
    FWindow->Attach(FApplication.get());
    if (!trayAvailable) {
        const std::string notice = FApplication->Main().MessageTexts().NoTrayArea;
        std::cerr << "brimble: " << notice << '\n';
        FApplication->Main().Log(notice, llNotice);
        // StartHidden would leave nothing to click.
        if (!FWindow->isVisible()) FWindow->BringFormToFront(ViewWindow::Main);
    }

    // The end of the session: the lists are saved before it ends.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, FWindow.get(),
                     [this](QSessionManager& /*manager*/) { RequestExit(); });
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, FWindow.get(),
                     [this] { RequestExit(); });
    // Last: a start that fails leaves no loop behind in the application.
    if (auto* guarded = dynamic_cast<TGuardedApplication*>(qApp)) guarded->SetLoop(&FLoop);
}

TTrayProgram::~TTrayProgram() {
    if (auto* guarded = dynamic_cast<TGuardedApplication*>(qApp)) guarded->SetLoop(nullptr);
    FApplication.reset(); // shuts down if nothing did, while the window still shows
    FWindow->Attach(nullptr);
}

int TTrayProgram::Exec() {
    // A shutdown during start-up leaves no loop to run.
    if (FApplication->Main().ShuttingDown()) return 0;
    return QApplication::exec();
}

void TTrayProgram::RequestExit() {
    RunGuarded(FLoop, [this] { FApplication->ProgramExit(); });
}

void TTrayProgram::ReportUnhandledError(const std::string& text) {
    // Named now, before anything else is thrown on this thread.
    const std::vector<std::string> stack = StackLines(LastThrowStack());
    std::cerr << "brimble: unhandled error: " << text << '\n';
    if (!FApplication) return; // still starting: standard error has it
    TfrmBrimblemain& engine = FApplication->Main();
    LogUnhandledError(engine, text, stack);
    // A timer that fails at every tick brings the report up once, not at every tick.
    if (engine.ShuttingDown() || !FErrorBoxes.Admit(text)) return;
    try {
        ShowErrorReport(engine, text, stack);
    } catch (const std::exception& error) {
        std::cerr << "brimble: the error report failed: " << error.what() << '\n';
    }
}

void TTrayProgram::ShowErrorReport(TfrmBrimblemain& engine, const std::string& text,
                                   const std::vector<std::string>& stack) {
    Platform& platform = engine.GetPlatform();
    IProcess& process = platform.Process();
    TErrorReportInput report;
    report.VersionLine =
        GetFileVersionString(process, process.ProgramPath(), "Brimble v.%M.%m.%r build %b");
    QString system = QSysInfo::kernelType();
    if (!system.isEmpty()) system[0] = system[0].toUpper();
    report.PlatformLine = PlatformVersionLine(S(system), S(QSysInfo::kernelVersion()));
    report.LogFileName = engine.LogFile().FileName();
    report.Message = text;
    report.StackLines = stack;
    report.IniFileName = engine.Folders().IniFileName;
    const std::string reportText = ErrorReportText(ErrorReportLines(report, platform.FileSystem()));
    FWindow->ErrorReport().SetReport(reportText, report.LogFileName,
                                     platform.FileSystem().FileExists(report.LogFileName));
    FWindow->BringFormToFront(ViewWindow::ErrorReport);
}

} // namespace brimble
