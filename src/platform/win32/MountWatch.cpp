// Drives that come and go, from the device-change broadcast. The broadcast reaches
// top-level windows only, so a hidden one lives on a thread of its own.

#include "platform/win32/ErrorText.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Volumes.h"

#include <dbt.h>
#include <future>
#include <thread>
#include <windows.h>

namespace brimble::win32 {

namespace {

LRESULT CALLBACK DeviceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE &&
        (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
        if (const auto changed =
                reinterpret_cast<HANDLE>(::GetWindowLongPtrW(window, GWLP_USERDATA)))
            ::SetEvent(changed);
        return TRUE;
    }
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

class DeviceChangeWatch final : public IMountWatch {
public:
    DeviceChangeWatch()
        : FChanged(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          FWake(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        std::promise<HWND> created;
        std::future<HWND> window = created.get_future();
        FThread = std::thread([this, &created] { Run(created); });
        FWindow = window.get();
    }

    ~DeviceChangeWatch() override {
        if (FWindow) ::PostMessageW(FWindow, WM_CLOSE, 0, 0);
        FThread.join();
    }

    DeviceChangeWatch(const DeviceChangeWatch&) = delete;
    DeviceChangeWatch& operator=(const DeviceChangeWatch&) = delete;

    bool WaitForChange() override {
        if (!FWindow) return false;
        const HANDLE events[] = {FWake.Get(), FChanged.Get()};
        return ::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
    }

    void Wake() override { ::SetEvent(FWake.Get()); }

private:
    void Run(std::promise<HWND>& created) {
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DeviceWindowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kDeviceWindowClass;
        ::RegisterClassW(&windowClass); // fails harmlessly when a second watch registers it
        const HWND window = ::CreateWindowExW(0, kDeviceWindowClass, L"", WS_OVERLAPPED, 0, 0, 0, 0,
                                              nullptr, nullptr, instance, nullptr);
        if (window)
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(FChanged.Get()));
        created.set_value(window);
        if (!window) return;
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0)
            ::DispatchMessageW(&message);
    }

    UniqueHandle FChanged;
    UniqueHandle FWake;
    HWND FWindow = nullptr;
    std::thread FThread; // last: started once the rest exists
};

} // namespace

std::unique_ptr<IMountWatch> Win32Volumes::OpenMountWatch() {
    return std::make_unique<DeviceChangeWatch>();
}

} // namespace brimble::win32
