#include "platform/posix/PosixLocale.h"

#include <langinfo.h>
#include <string>
#include <time.h>

namespace brimble::posix {

namespace {

// The user's locale, category by category where one of them names a locale that is not
// installed; the C locale for the rest.
locale_t UserLocale() {
    if (locale_t all = ::newlocale(LC_ALL_MASK, "", nullptr)) return all;
    locale_t result = ::newlocale(LC_ALL_MASK, "C", nullptr);
    for (const int mask : {LC_NUMERIC_MASK, LC_TIME_MASK}) {
        if (locale_t with = ::newlocale(mask, "", result)) result = with;
    }
    return result;
}

} // namespace

PosixLocale::PosixLocale() : FLocale(UserLocale()) {}

PosixLocale::~PosixLocale() {
    if (FLocale) ::freelocale(FLocale);
}

std::string PosixLocale::ThousandSeparator() {
    return FLocale ? ::nl_langinfo_l(THOUSEP, FLocale) : "";
}

std::string PosixLocale::DecimalSeparator() {
    const char* separator = FLocale ? ::nl_langinfo_l(RADIXCHAR, FLocale) : ".";
    return *separator ? separator : ".";
}

std::string PosixLocale::FormatShortDate(const DateParts& when) {
    return Format(FLocale ? ::nl_langinfo_l(D_FMT, FLocale) : "%m/%d/%y", when);
}

std::string PosixLocale::FormatLongTime(const DateParts& when) {
    return Format(FLocale ? ::nl_langinfo_l(T_FMT, FLocale) : "%H:%M:%S", when);
}

std::string PosixLocale::Format(const char* pattern, const DateParts& when) {
    struct tm parts {};
    parts.tm_year = when.Year - 1900;
    parts.tm_mon = when.Month - 1;
    parts.tm_mday = when.Day;
    parts.tm_hour = when.Hour;
    parts.tm_min = when.Minute;
    parts.tm_sec = when.Second;
    parts.tm_isdst = -1;
    // The weekday and day of the year, for patterns that name them.
    struct tm normalised = parts;
    if (::timegm(&normalised) != -1) {
        parts.tm_wday = normalised.tm_wday;
        parts.tm_yday = normalised.tm_yday;
    }
    char buffer[256];
    const std::size_t length = FLocale
                                   ? ::strftime_l(buffer, sizeof buffer, pattern, &parts, FLocale)
                                   : ::strftime(buffer, sizeof buffer, pattern, &parts);
    return std::string(buffer, length);
}

} // namespace brimble::posix
