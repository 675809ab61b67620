#include "platform/posix/Priority.h"

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

void ApplyPriorityToThread(pid_t thread, uint8_t level) {
    const PriorityValues values = PriorityFor(level);
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), values.Nice);
    ::syscall(SYS_ioprio_set, IOPRIO_WHO_PROCESS, thread,
              IOPRIO_PRIO_VALUE(values.IoClass, values.IoLevel));
}

void ApplyPriorityToProcess(uint8_t level) {
    DIR* tasks = ::opendir("/proc/self/task");
    if (!tasks) {
        ApplyPriorityToThread(::gettid(), level);
        return;
    }
    while (const struct dirent* entry = ::readdir(tasks)) {
        const pid_t thread = static_cast<pid_t>(std::atoi(entry->d_name));
        if (thread > 0) ApplyPriorityToThread(thread, level);
    }
    ::closedir(tasks);
}

} // namespace brimble::posix
