#pragma once

// Separators and date and time formats of the user's locale (LANG, LC_* as setlocale reads
// them), taken through a locale object of its own so that the process-wide C locale, which
// number formatting elsewhere relies on, stays as it is.

#include "platform/Platform.h"

#include <locale.h>

namespace brimble::posix {

class PosixLocale final : public ILocale {
public:
    PosixLocale();
    ~PosixLocale() override;
    PosixLocale(const PosixLocale&) = delete;
    PosixLocale& operator=(const PosixLocale&) = delete;

    std::string ThousandSeparator() override;
    std::string DecimalSeparator() override;
    std::string FormatShortDate(const DateParts& when) override;
    std::string FormatLongTime(const DateParts& when) override;

private:
    std::string Format(const char* pattern, const DateParts& when);

    locale_t FLocale;
};

} // namespace brimble::posix
