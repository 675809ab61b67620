#include "app/StopSignals.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace brimble {

namespace {

sigset_t StopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

bool StdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

TStopSignals::TStopSignals() {
    const sigset_t set = StopSignalSet();
    // The mask is never lifted again: a signal that comes late stays pending, unread,
    // instead of killing the process while it saves the lists.
    if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0)
        throw std::runtime_error("cannot block the stop signals");
    FSource = ::signalfd(-1, &set, SFD_CLOEXEC);
    if (FSource < 0) throw std::runtime_error("cannot open a signal descriptor");
}

TStopSignals::~TStopSignals() {
    if (FSource >= 0) ::close(static_cast<int>(FSource));
}

TStopSignalWatch::TStopSignalWatch(const TStopSignals& signals, std::function<void()> onSignal)
    : FOnSignal(std::move(onSignal)), FWake(::eventfd(0, EFD_CLOEXEC)) {
    if (FWake < 0) throw std::runtime_error("cannot open an event descriptor");
    FThread = std::thread([this, source = signals.Source()] { Run(source); });
}

TStopSignalWatch::~TStopSignalWatch() {
    const uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(static_cast<int>(FWake), &one, sizeof one);
    if (FThread.joinable()) FThread.join();
    ::close(static_cast<int>(FWake));
}

void TStopSignalWatch::Run(intptr_t source) {
    const int signalFd = static_cast<int>(source);
    for (;;) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {static_cast<int>(FWake), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents || !(fds[0].revents & POLLIN)) return;
        signalfd_siginfo info{};
        if (::read(signalFd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
        try {
            FOnSignal();
        } catch (...) {
            return; // nobody left to tell
        }
    }
}

} // namespace brimble
