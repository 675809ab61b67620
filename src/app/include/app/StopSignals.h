#pragma once

// The console side of the programs: whether anyone watches the output, and the stop
// requests (Ctrl-C and SIGTERM on Linux; a Windows build supplies console control events)
// turned into a call on a thread of its own (never work in a handler). Each back end has
// its implementation in its own folder.

#include <functional>
#include <thread>

namespace brimble {

bool StdoutIsTerminal();

// Blocks SIGINT and SIGTERM for this thread and every thread it starts afterwards, so that
// they arrive only through a signal descriptor. Made first, before any thread exists.
class TStopSignals {
public:
    TStopSignals();
    ~TStopSignals();
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

    int Descriptor() const { return FSignalFd; }

private:
    int FSignalFd = -1;
};

// Calls OnSignal (on its own thread) for each stop signal until destroyed.
class TStopSignalWatch {
public:
    TStopSignalWatch(const TStopSignals& signals, std::function<void()> onSignal);
    ~TStopSignalWatch();
    TStopSignalWatch(const TStopSignalWatch&) = delete;
    TStopSignalWatch& operator=(const TStopSignalWatch&) = delete;

private:
    void Run(int signalFd);

    std::function<void()> FOnSignal;
    int FWakeFd = -1;
    std::thread FThread; // last: started once the rest exists
};

} // namespace brimble
