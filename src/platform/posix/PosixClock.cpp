#include "platform/posix/PosixClock.h"

#include <time.h>

namespace brimble::posix {

namespace {
constexpr int64_t DaysFrom1899To1970 = 25569;
}

int64_t DaysSince1899(int year, int month, int day) {
    // Days from 1 January 1970 of a proleptic Gregorian date (era arithmetic).
    const int64_t y = month <= 2 ? year - 1 : year;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468 + DaysFrom1899To1970;
}

TDateTime PosixClock::Now() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct tm local {};
    ::localtime_r(&now.tv_sec, &local);
    const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
                           static_cast<double>(now.tv_nsec / 1000000) / 1000.0;
    return static_cast<double>(
               DaysSince1899(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday)) +
           seconds / 86400.0;
}

uint32_t PosixClock::TickCount() {
    struct timespec now {};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    const uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms); // wraps at 2^32 like the Windows tick count
}

} // namespace brimble::posix
