#pragma once

// Priority levels 0 (idle) to 6 (time-critical) as nice values and I/O priorities. The two
// lowest levels also get the idle I/O class, so a background compression yields the disk
// as well as the processor. Raising priority above normal needs CAP_SYS_NICE (or a
// RLIMIT_NICE allowance); without it the request fails quietly, as does lowering back to
// normal once an ordinary user has gone lower.

#include <cstdint>
#include <sys/types.h>

namespace brimble::posix {

struct PriorityValues {
    int Nice = 0;
    int IoClass = 0; // IOPRIO_CLASS_*
    int IoLevel = 0; // 0 (highest) .. 7 within the best-effort class
};

PriorityValues PriorityFor(uint8_t level);
// The calling thread's nice value and I/O priority now; an I/O priority that follows the
// nice value (no class set) reads as the best-effort level it stands for.
PriorityValues CurrentThreadPriority();
// Wanted, lowered where it would stand above Ceiling: a program started at nice 10 or in
// the idle I/O class (as a service unit starts it) never raises itself above that.
PriorityValues AtMost(const PriorityValues& wanted, const PriorityValues& ceiling);
// Applies Level, never above Ceiling, to one thread (Linux keeps nice and I/O priority per
// thread).
void ApplyPriorityToThread(pid_t thread, uint8_t level, const PriorityValues& ceiling);
// Applies Level, never above Ceiling, to every thread of the process; threads started later
// inherit it from whichever thread starts them.
void ApplyPriorityToProcess(uint8_t level, const PriorityValues& ceiling);

} // namespace brimble::posix
