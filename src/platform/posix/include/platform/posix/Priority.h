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
// Applies Level to one thread (Linux keeps nice and I/O priority per thread).
void ApplyPriorityToThread(pid_t thread, uint8_t level);
// Applies Level to every thread of the process; threads started later inherit it from
// whichever thread starts them.
void ApplyPriorityToProcess(uint8_t level);

} // namespace brimble::posix
