#pragma once

// A wake-up that a blocked poll can wait for: once signalled it stays signalled, so every
// later wait ends at once too.

#include "platform/posix/UniqueFd.h"

#include <atomic>

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

// Waits until Fd reports one of Events or Wake is signalled; returns the events seen on Fd
// (0 when woken). Negative with errno on failure.
int WaitForFdOrWake(int fd, short events, const WakeEvent& wake);

} // namespace brimble::posix
