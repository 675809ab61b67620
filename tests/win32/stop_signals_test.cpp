// The console part of the start-up library: console control events and the end of the
// session as stop requests.

#include "Win32TestSupport.h"
#include "app/StopSignals.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <windows.h>

namespace brimble {
namespace {

TEST(Win32StopSignals, EndOfSessionAsksToStopAndWaitsForTheProgram) {
    std::atomic<int> stops{0};
    std::thread sender;
    std::atomic<bool> returned{false};
    {
        const TStopSignals signals;
        const TStopSignalWatch watch(signals, [&] { ++stops; });
        const HWND window = win32::test::WindowOf(::GetCurrentProcessId(), L"BrimbleEndSession");
        ASSERT_TRUE(window) << "the hidden window needs a window driver";
        // The system ends the process once WM_ENDSESSION returns: it must wait for the
        // program to finish its stop.
        sender = std::thread([&] {
            ::SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
            returned = true;
        });
        while (stops == 0)
            ::Sleep(10);
        ::Sleep(100);
        EXPECT_FALSE(returned) << "held until the program is done";
    }
    sender.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(stops, 1);
}

TEST(Win32StopSignals, CtrlBreakIsAStopRequest) {
    std::atomic<int> stops{0};
    const TStopSignals signals;
    const TStopSignalWatch watch(signals, [&] { ++stops; });
    // Run with its output piped, the test has no console of its own: it makes one.
    if (!::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0) &&
        !(::AllocConsole() && ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0)))
        GTEST_SKIP() << "no console to send the event to (error " << ::GetLastError() << ")";
    for (int i = 0; i < 500 && stops == 0; ++i)
        ::Sleep(10);
    EXPECT_EQ(stops, 1);
}

TEST(Win32StopSignals, TakenOverOnlyOnce) {
    const TStopSignals signals;
    EXPECT_THROW(TStopSignals{}, std::logic_error);
}

TEST(Win32StopSignals, StdoutIsNoTerminalWhenPiped) {
    DWORD mode = 0;
    EXPECT_EQ(StdoutIsTerminal(), ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0);
}

} // namespace
} // namespace brimble
