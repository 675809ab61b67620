#include "platform/posix/Priority.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <linux/ioprio.h>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace brimble::posix {

PriorityValues PriorityFor(uint8_t level) {
    switch (level) {
    case 0:
        return {19, IOPRIO_CLASS_IDLE, 0};
    case 1:
        return {15, IOPRIO_CLASS_IDLE, 0};
    case 2:
        return {5, IOPRIO_CLASS_BE, 6};
    case 3:
        return {0, IOPRIO_CLASS_BE, 4};
    case 4:
        return {-5, IOPRIO_CLASS_BE, 2};
    case 5:
        return {-10, IOPRIO_CLASS_BE, 1};
    // Real-time scheduling could starve the desktop; the strongest level stays fair.
    case 6:
        return {-15, IOPRIO_CLASS_BE, 0};
    default:
        return {0, IOPRIO_CLASS_BE, 4};
    }
}

namespace {

// Higher for a stronger claim on the disk: real-time, then best-effort by level, then idle.
int IoRank(int ioClass, int level) {
    switch (ioClass) {
    case IOPRIO_CLASS_RT:
        return 300 - level;
    case IOPRIO_CLASS_IDLE:
        return 0;
    default:
        return 200 - level;
    }
}

} // namespace

PriorityValues CurrentThreadPriority() {
    PriorityValues values;
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    values.Nice = errno == 0 ? nice : 0;
    const long io = ::syscall(SYS_ioprio_get, IOPRIO_WHO_PROCESS, ::gettid());
    const int ioClass = io < 0 ? IOPRIO_CLASS_NONE : static_cast<int>(IOPRIO_PRIO_CLASS(io));
    if (ioClass == IOPRIO_CLASS_NONE) {
        // The kernel derives it from the nice value: 0..7 for nice -20..19.
        values.IoClass = IOPRIO_CLASS_BE;
        values.IoLevel = (values.Nice + 20) / 5;
    } else {
        values.IoClass = ioClass;
        values.IoLevel = static_cast<int>(IOPRIO_PRIO_DATA(io));
    }
    return values;
}

PriorityValues AtMost(const PriorityValues& wanted, const PriorityValues& ceiling) {
    PriorityValues bounded = wanted;
    bounded.Nice = std::max(wanted.Nice, ceiling.Nice);
    if (IoRank(wanted.IoClass, wanted.IoLevel) > IoRank(ceiling.IoClass, ceiling.IoLevel)) {
        bounded.IoClass = ceiling.IoClass;
        bounded.IoLevel = ceiling.IoLevel;
    }
    return bounded;
}

void ApplyPriorityToThread(pid_t thread, uint8_t level, const PriorityValues& ceiling) {
    const PriorityValues values = AtMost(PriorityFor(level), ceiling);
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), values.Nice);
    ::syscall(SYS_ioprio_set, IOPRIO_WHO_PROCESS, thread,
              IOPRIO_PRIO_VALUE(values.IoClass, values.IoLevel));
}

void ApplyPriorityToProcess(uint8_t level, const PriorityValues& ceiling) {
    DIR* tasks = ::opendir("/proc/self/task");
    if (!tasks) {
        ApplyPriorityToThread(::gettid(), level, ceiling);
        return;
    }
    while (const struct dirent* entry = ::readdir(tasks)) {
        const pid_t thread = static_cast<pid_t>(std::atoi(entry->d_name));
        if (thread > 0) ApplyPriorityToThread(thread, level, ceiling);
    }
    ::closedir(tasks);
}

} // namespace brimble::posix
