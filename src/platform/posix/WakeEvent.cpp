#include "platform/posix/WakeEvent.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>

namespace brimble::posix {

WakeEvent::WakeEvent() : FFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void WakeEvent::Signal() {
    FSignalled.store(true);
    if (FFd) {
        const uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(FFd.Get(), &one, sizeof one);
    }
}

int WaitForFdOrWake(int fd, short events, const WakeEvent& wake) {
    for (;;) {
        if (wake.Signalled()) return 0;
        struct pollfd fds[2] = {{fd, events, 0}, {wake.Fd(), POLLIN, 0}};
        // Without an eventfd, wake up now and then to look at the flag.
        const int timeout = wake.Fd() >= 0 ? -1 : 100;
        const int ready = ::poll(fds, wake.Fd() >= 0 ? 2 : 1, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (wake.Signalled() || (fds[1].revents & POLLIN)) return 0;
        if (fds[0].revents) return fds[0].revents;
    }
}

} // namespace brimble::posix
