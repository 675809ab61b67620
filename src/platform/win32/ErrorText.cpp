#include "platform/win32/ErrorText.h"

#include "platform/win32/WideText.h"

#include <windows.h>

namespace brimble::win32 {

std::string ErrorText(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = length ? Narrow(std::wstring_view(buffer, length)) : std::string();
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == '.' || text.back() == ' ' || text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text.empty() ? "Error " + std::to_string(code) : text;
}

int LastError() {
    return static_cast<int>(::GetLastError());
}

} // namespace brimble::win32
