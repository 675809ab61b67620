#include "platform/posix/WakeEvent.h"

#include <cerrno>
#include <cstdint>
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

bool WaitForEventsOrWake(std::vector<struct pollfd>& fds, const WakeEvent& wake) {
    std::vector<struct pollfd> all = fds;
    // Without an eventfd, wake up now and then to look at the flag.
    const bool withEvent = wake.Fd() >= 0;
    if (withEvent) all.push_back({wake.Fd(), POLLIN, 0});
    for (;;) {
        if (wake.Signalled()) return false;
        for (auto& fd : all)
            fd.revents = 0;
        const int ready = ::poll(all.data(), all.size(), withEvent ? -1 : 100);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (wake.Signalled() || (withEvent && (all.back().revents & POLLIN))) return false;
        bool any = false;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            fds[i].revents = all[i].revents;
            any = any || all[i].revents != 0;
        }
        if (any) return true;
    }
}

int WaitForFdOrWake(int fd, short events, const WakeEvent& wake) {
    std::vector<struct pollfd> fds = {{fd, events, 0}};
    if (!WaitForEventsOrWake(fds, wake)) return wake.Signalled() ? 0 : -1;
    return fds[0].revents;
}

} // namespace brimble::posix
