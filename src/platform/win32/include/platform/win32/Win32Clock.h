#pragma once

#include "platform/Platform.h"

namespace brimble::win32 {

class Win32Clock final : public IClock {
public:
    TDateTime Now() override;
    uint32_t TickCount() override;
    // GetLastInputInfo against GetTickCount: both wrap alike, so the difference holds.
    uint32_t UserIdleMilliseconds() override;
};

class Win32Locale final : public ILocale {
public:
    std::string ThousandSeparator() override;
    std::string DecimalSeparator() override;
    std::string FormatShortDate(const DateParts& when) override;
    std::string FormatLongTime(const DateParts& when) override;
    // The system's ANSI code page.
    std::string ToAnsi(std::string_view utf8, bool* lossless = nullptr) override;
    std::string FromAnsi(std::string_view bytes) override;
};

} // namespace brimble::win32
