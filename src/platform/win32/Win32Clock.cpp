#include "platform/win32/Win32Clock.h"

#include "base/DateTime.h"

#include <windows.h>

namespace brimble::win32 {

TDateTime Win32Clock::Now() {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    const DateParts parts{local.wYear, local.wMonth,  local.wDay,
                          local.wHour, local.wMinute, local.wSecond};
    return EncodeDateTime(parts).value_or(0.0) + local.wMilliseconds / 86'400'000.0;
}

uint32_t Win32Clock::TickCount() {
    return ::GetTickCount();
}

uint32_t Win32Clock::UserIdleMilliseconds() {
    LASTINPUTINFO input{};
    input.cbSize = sizeof input;
    if (!::GetLastInputInfo(&input)) return 0;
    return ::GetTickCount() - input.dwTime;
}

} // namespace brimble::win32
