#pragma once

// The UI loop of the tray program on Qt's event loop. Calls from worker threads go into the
// hand-over queue and a Qt event wakes the UI thread for each, so the queue can still be
// served after Qt's loop has ended (a worker joined at shutdown may be waiting in a
// hand-over).

#include "threads/HandOverQueue.h"
#include "threads/UiLoop.h"

#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace brimble {

class QtUiLoop final : public QObject, public IUiLoop {
    Q_OBJECT

public:
    // Created on the UI thread after the QApplication.
    QtUiLoop();
    // Wakes every worker still waiting in RunAndWait with an error; queued calls are dropped.
    ~QtUiLoop() override;
    QtUiLoop(const QtUiLoop&) = delete;
    QtUiLoop& operator=(const QtUiLoop&) = delete;

    void RunAndWait(std::function<void()> call) override;
    void Post(std::function<void()> call) override;
    // A queued call first; otherwise one round of Qt's events (input, timers, painting).
    // An exception of the call leaves here, as StdUiLoop's does.
    bool ProcessOneMessage() override;
    std::unique_ptr<ITimer> CreateTimer(std::function<void()> onTimer) override;
    bool IsUiThread() const override;
    // Ends Qt's running event loop; with none running (a shutdown before it starts) the
    // program does not enter it.
    void Quit() override;

    // Where an error that no code handled goes (a posted call's or a timer's): Qt's event
    // loop must not be left by an exception. Without a handler it is printed.
    std::function<void(const std::string& text)> OnUnhandledError;
    std::size_t PendingMessages() const override;

    // The UI thread's side of a wake-up: one queued call.
    Q_INVOKABLE void ServeQueue();

private:
    // Shared with workers that still wait in it when the loop ends.
    std::shared_ptr<THandOverQueue> FQueue;
};

// Runs Call and hands an escaping error to the loop's handler.
void RunGuarded(QtUiLoop& loop, const std::function<void()>& call);

} // namespace brimble
