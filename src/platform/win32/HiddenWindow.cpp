#include "platform/win32/HiddenWindow.h"

#include <future>

namespace brimble::win32 {

HiddenWindow::HiddenWindow(const wchar_t* className, WNDPROC procedure, LONG_PTR userData) {
    std::promise<HWND> created;
    std::future<HWND> window = created.get_future();
    FThread = std::thread([&created, className, procedure, userData] {
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = className;
        ::RegisterClassW(&windowClass); // fails harmlessly when a second one registers it
        const HWND made = ::CreateWindowExW(0, className, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                            nullptr, instance, nullptr);
        if (made) ::SetWindowLongPtrW(made, GWLP_USERDATA, userData);
        created.set_value(made);
        if (!made) return;
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0)
            ::DispatchMessageW(&message);
    });
    FWindow = window.get();
}

HiddenWindow::~HiddenWindow() {
    if (FWindow) ::PostMessageW(FWindow, WM_CLOSE, 0, 0);
    FThread.join();
}

} // namespace brimble::win32
