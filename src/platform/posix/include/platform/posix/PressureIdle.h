#pragma once

// The machine's own idleness from the kernel's pressure stall information: the share of the
// last ten seconds in which some task waited for the processor (/proc/pressure/cpu) or for
// the disk (/proc/pressure/io). The machine counts as idle while both stay below a small
// threshold, and its idle time is how long they have done so: what a server, or a session
// whose desktop never says that the user is away, has instead of the user's input.

#include <cstdint>
#include <optional>
#include <string>

namespace brimble::posix {

struct Pressure {
    double Cpu = 0; // "some avg10", percent
    double Io = 0;
};

// The "some avg10" figure of a pressure file's text; nothing when it has none.
std::optional<double> SomeAvg10(const std::string& text);
// Both figures now; nothing where the kernel keeps none.
std::optional<Pressure> ReadPressure();

class PressureIdle {
public:
    // Below this share of waiting, in percent, the machine counts as idle.
    static constexpr double QuietPercent = 5.0;

    // The idle time at NowMs (a monotonic clock) after a reading; a missing reading counts
    // as busy, so nothing waits for an idleness nobody can see.
    uint32_t Update(uint64_t nowMs, const std::optional<Pressure>& reading);

private:
    std::optional<uint64_t> FQuietSince;
};

} // namespace brimble::posix
