// Console control events as stop requests. Ctrl+C and Ctrl+Break only ask; closing the
// console, log-off and shutdown end the process as soon as the handler returns, so the
// handler holds them until the program has saved its lists (TStopSignals going away) or the
// system's patience is nearly spent. A program with windows (user32 is loaded) hears of
// log-off and shutdown only through WM_ENDSESSION, so a hidden window listens as well.

#include "app/StopSignals.h"

#include "platform/win32/HiddenWindow.h"

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <windows.h>

namespace brimble {

namespace {

// The system ends a program 5 s after a console close and about 20 s into a log-off or
// shutdown; what is not saved by then is lost anyway.
constexpr DWORD kCloseWaitMs = 4500;
constexpr DWORD kEndSessionWaitMs = 15000;
constexpr const wchar_t* kEndSessionWindowClass = L"BrimbleEndSession";

class TConsoleState {
public:
    TConsoleState()
        : FStop(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          FDone(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        if (!FStop || !FDone) {
            Close();
            throw std::runtime_error("cannot create the stop events");
        }
        FWindow = std::make_unique<win32::HiddenWindow>(kEndSessionWindowClass, WindowProc,
                                                        reinterpret_cast<LONG_PTR>(this));
    }

    ~TConsoleState() {
        Finished();
        FWindow.reset(); // the console events still stop the program without it
        Close();
    }

    TConsoleState(const TConsoleState&) = delete;
    TConsoleState& operator=(const TConsoleState&) = delete;

    HANDLE StopEvent() const { return FStop; }
    // A stop request that the system enforces: asks, then holds the system off until the
    // program is done or Wait has passed.
    void StopAndWait(DWORD wait) const {
        ::SetEvent(FStop);
        ::WaitForSingleObject(FDone, wait);
    }
    void Finished() const { ::SetEvent(FDone); }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        const auto* state =
            reinterpret_cast<const TConsoleState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        switch (message) {
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam && state) state->StopAndWait(kEndSessionWaitMs);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
        }
    }

    void Close() {
        if (FStop) ::CloseHandle(FStop);
        if (FDone) ::CloseHandle(FDone);
        FStop = FDone = nullptr;
    }

    HANDLE FStop;
    HANDLE FDone;
    std::unique_ptr<win32::HiddenWindow> FWindow;
};

// The console's handler is process-wide, and so is what it reaches.
std::unique_ptr<TConsoleState> gConsole;
std::atomic<const TConsoleState*> gHandlerState{nullptr};

BOOL WINAPI ConsoleHandler(DWORD event) {
    const TConsoleState* state = gHandlerState.load();
    if (!state) return FALSE;
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        ::SetEvent(state->StopEvent());
        return TRUE;
    case CTRL_CLOSE_EVENT:
        state->StopAndWait(kCloseWaitMs);
        return TRUE;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        state->StopAndWait(kEndSessionWaitMs);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

bool StdoutIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

TStopSignals::TStopSignals() {
    if (gConsole) throw std::logic_error("the stop requests are taken over twice");
    gConsole = std::make_unique<TConsoleState>();
    gHandlerState.store(gConsole.get());
    if (!::SetConsoleCtrlHandler(ConsoleHandler, TRUE)) {
        gHandlerState.store(nullptr);
        gConsole.reset();
        throw std::runtime_error("cannot install the console control handler");
    }
    FSource = reinterpret_cast<intptr_t>(gConsole->StopEvent());
}

TStopSignals::~TStopSignals() {
    // Lets a waiting close, log-off or shutdown go on: the program is done.
    gConsole->Finished();
    ::SetConsoleCtrlHandler(ConsoleHandler, FALSE);
    gHandlerState.store(nullptr);
    gConsole.reset();
}

TStopSignalWatch::TStopSignalWatch(const TStopSignals& signals, std::function<void()> onSignal)
    : FOnSignal(std::move(onSignal)),
      FWake(reinterpret_cast<intptr_t>(::CreateEventW(nullptr, TRUE, FALSE, nullptr))) {
    if (!FWake) throw std::runtime_error("cannot create an event");
    FThread = std::thread([this, source = signals.Source()] { Run(source); });
}

TStopSignalWatch::~TStopSignalWatch() {
    const auto wake = reinterpret_cast<HANDLE>(FWake);
    ::SetEvent(wake);
    if (FThread.joinable()) FThread.join();
    ::CloseHandle(wake);
}

void TStopSignalWatch::Run(intptr_t source) {
    const HANDLE events[] = {reinterpret_cast<HANDLE>(FWake), reinterpret_cast<HANDLE>(source)};
    while (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        try {
            FOnSignal();
        } catch (...) {
            return; // nobody left to tell
        }
    }
}

} // namespace brimble
