// Drives that come and go, from the device-change broadcast. The broadcast reaches
// top-level windows only, so a hidden one lives on a thread of its own.

#include "platform/win32/ErrorText.h"
#include "platform/win32/HiddenWindow.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Volumes.h"

#include <dbt.h>
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
          FWake(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          FWindow(kDeviceWindowClass, DeviceWindowProc,
                  reinterpret_cast<LONG_PTR>(FChanged.Get())) {}

    bool WaitForChange() override {
        if (!FWindow.Get()) return false;
        const HANDLE events[] = {FWake.Get(), FChanged.Get()};
        return ::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
    }

    void Wake() override { ::SetEvent(FWake.Get()); }

private:
    UniqueHandle FChanged;
    UniqueHandle FWake;
    HiddenWindow FWindow; // last: its thread starts once the events exist
};

} // namespace

std::unique_ptr<IMountWatch> Win32Volumes::OpenMountWatch() {
    return std::make_unique<DeviceChangeWatch>();
}

} // namespace brimble::win32
