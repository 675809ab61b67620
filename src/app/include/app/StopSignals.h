#pragma once

// The console side of the programs: whether anyone watches the output, and the stop
// requests (Ctrl-C and SIGTERM on Linux; Ctrl+C, Ctrl+Break, closing the console, log-off
// and shutdown on Windows) turned into a call on a thread of its own (never work in a
// handler). Each back end has its implementation in its own folder.

#include <cstdint>
#include <functional>
#include <thread>

namespace brimble {

bool StdoutIsTerminal();

// Takes the stop requests over from the system's default (which ends the process at once):
// on Linux blocks SIGINT and SIGTERM for this thread and every thread it starts afterwards,
// so that they arrive only through a signal descriptor; on Windows a console control handler
// sets an event. Made first, before any thread exists, and destroyed last: on Windows a
// log-off or shutdown waits for the program until then.
class TStopSignals {
public:
    TStopSignals();
    ~TStopSignals();
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

    // What a watch waits on: the signal descriptor, or the event's handle.
    intptr_t Source() const { return FSource; }

private:
    intptr_t FSource = -1;
};

// Calls OnSignal (on its own thread) for each stop signal until destroyed.
class TStopSignalWatch {
public:
    TStopSignalWatch(const TStopSignals& signals, std::function<void()> onSignal);
    ~TStopSignalWatch();
    TStopSignalWatch(const TStopSignalWatch&) = delete;
    TStopSignalWatch& operator=(const TStopSignalWatch&) = delete;

private:
    void Run(intptr_t source);

    std::function<void()> FOnSignal;
    intptr_t FWake = -1;
    std::thread FThread; // last: started once the rest exists
};

} // namespace brimble
