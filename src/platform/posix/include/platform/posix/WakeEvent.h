#pragma once

// A wake-up that a blocked poll can wait for: once signalled it stays signalled, so every
// later wait ends at once too.

#include "platform/posix/UniqueFd.h"

#include <atomic>
#include <poll.h>
#include <vector>

namespace brimble::posix {

class WakeEvent {
public:
    WakeEvent();
    // Any thread; never blocks.
    void Signal();
    bool Signalled() const { return FSignalled.load(); }
    // For poll: readable once signalled. Invalid only when the system refused an eventfd.
    int Fd() const { return FFd.Get(); }

private:
    UniqueFd FFd;
    std::atomic<bool> FSignalled{false};
};

// Waits until one of Fds reports an event (their revents are then filled in) or Wake is
// signalled. False when woken or when the wait itself failed.
bool WaitForEventsOrWake(std::vector<struct pollfd>& fds, const WakeEvent& wake);

// The same for one descriptor: the events seen on Fd, 0 when woken, negative on failure.
int WaitForFdOrWake(int fd, short events, const WakeEvent& wake);

} // namespace brimble::posix
