#include "platform/win32/WideText.h"
#include "platform/win32/Win32Clock.h"

#include <windows.h>

namespace brimble::win32 {

namespace {

std::string LocaleText(LCTYPE what) {
    wchar_t text[16] = {};
    const int length = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, what, text, 16);
    return length > 0 ? Narrow(text) : std::string();
}

SYSTEMTIME SystemTimeOf(const DateParts& when) {
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(when.Year);
    time.wMonth = static_cast<WORD>(when.Month);
    time.wDay = static_cast<WORD>(when.Day);
    time.wHour = static_cast<WORD>(when.Hour);
    time.wMinute = static_cast<WORD>(when.Minute);
    time.wSecond = static_cast<WORD>(when.Second);
    return time;
}

} // namespace

std::string Win32Locale::ThousandSeparator() {
    return LocaleText(LOCALE_STHOUSAND);
}

std::string Win32Locale::DecimalSeparator() {
    return LocaleText(LOCALE_SDECIMAL);
}

std::string Win32Locale::FormatShortDate(const DateParts& when) {
    const SYSTEMTIME time = SystemTimeOf(when);
    wchar_t text[128] = {};
    if (!::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, text, 128))
        return {};
    return Narrow(text);
}

std::string Win32Locale::FormatLongTime(const DateParts& when) {
    const SYSTEMTIME time = SystemTimeOf(when);
    wchar_t text[128] = {};
    if (!::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &time, nullptr, text, 128)) return {};
    return Narrow(text);
}

std::string Win32Locale::ToAnsi(std::string_view utf8, bool* lossless) {
    if (lossless) *lossless = true;
    const std::wstring wide = Widen(utf8);
    if (wide.empty()) return {};
    const UINT codePage = ::GetACP();
    // UTF-8 as the ANSI code page represents everything, and takes no default character.
    BOOL usedDefault = FALSE;
    BOOL* askDefault = codePage == CP_UTF8 ? nullptr : &usedDefault;
    const int wideLength = static_cast<int>(wide.size());
    const int length = ::WideCharToMultiByte(codePage, 0, wide.data(), wideLength, nullptr, 0,
                                             nullptr, askDefault);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, 0, wide.data(), wideLength, bytes.data(), length, nullptr,
                          askDefault);
    if (lossless && usedDefault) *lossless = false;
    return bytes;
}

std::string Win32Locale::FromAnsi(std::string_view bytes) {
    if (bytes.empty()) return {};
    const int size = static_cast<int>(bytes.size());
    const int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), length);
    return Narrow(wide);
}

} // namespace brimble::win32
