#pragma once

#include "platform/Platform.h"
#include "platform/posix/UserIdle.h"

namespace brimble::posix {

class PosixClock final : public IClock {
public:
    // Local time from the C library's time zone.
    TDateTime Now() override;
    // Milliseconds since boot, sleep included, as the Windows tick count counts.
    uint32_t TickCount() override;
    uint32_t UserIdleMilliseconds() override { return FIdle.Milliseconds(); }
    uint32_t MachineIdleMilliseconds() override { return FIdle.MachineMilliseconds(); }
    std::string IdleSource() override { return FIdle.Source(); }

private:
    UserIdle FIdle;
};

// Days since 30 December 1899 of a calendar date.
int64_t DaysSince1899(int year, int month, int day);

} // namespace brimble::posix
