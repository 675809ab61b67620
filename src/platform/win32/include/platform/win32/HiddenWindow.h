#pragma once

// A hidden top-level window on a thread of its own, for the broadcasts that reach only
// top-level windows (device changes, the end of the session). The window procedure finds
// UserData with GetWindowLongPtrW(window, GWLP_USERDATA) and must post the quit message on
// WM_DESTROY; this handle closes the window and joins the thread when it goes.

#include <thread>
#include <windows.h>

namespace brimble::win32 {

class HiddenWindow {
public:
    HiddenWindow(const wchar_t* className, WNDPROC procedure, LONG_PTR userData);
    ~HiddenWindow();
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;

    // Null when the window could not be made.
    HWND Get() const { return FWindow; }

private:
    HWND FWindow = nullptr;
    std::thread FThread;
};

} // namespace brimble::win32
