#include "QtUiLoop.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <condition_variable>
#include <deque>
#include <exception>
#include <iostream>
#include <mutex>
#include <stdexcept>

namespace brimble {

namespace {

std::string ErrorText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

class QtTimer final : public ITimer {
public:
    QtTimer(QtUiLoop& loop, std::function<void()> onTimer) {
        FTimer.setInterval(1000);
        QObject::connect(&FTimer, &QTimer::timeout, &FTimer,
                         [&loop, onTimer = std::move(onTimer)] { RunGuarded(loop, onTimer); });
    }
    void SetInterval(uint32_t milliseconds) override {
        FInterval = milliseconds;
        FTimer.setInterval(static_cast<int>(std::min<uint32_t>(milliseconds, INT32_MAX)));
        Restart();
    }
    uint32_t Interval() const override { return FInterval; }
    void SetEnabled(bool enabled) override {
        FEnabled = enabled;
        Restart();
    }
    bool Enabled() const override { return FEnabled; }

private:
    // An interval of 0 never fires, as the system timers of the original desktop did not.
    void Restart() {
        if (FEnabled && FInterval > 0)
            FTimer.start();
        else
            FTimer.stop();
    }

    QTimer FTimer;
    uint32_t FInterval = 1000;
    bool FEnabled = false;
};

} // namespace

void RunGuarded(QtUiLoop& loop, const std::function<void()>& call) {
    try {
        call();
    } catch (...) {
        const std::string text = ErrorText(std::current_exception());
        if (loop.OnUnhandledError)
            loop.OnUnhandledError(text);
        else
            std::cerr << "brimble: unhandled error: " << text << '\n';
    }
}

QtUiLoop::QtUiLoop()
    : FQueue(std::make_shared<THandOverQueue>(std::this_thread::get_id(), [this] {
          // Under the queue's lock, which the destructor's Close also takes: the loop cannot
          // go between the check for a closed queue and this post. By name, so that the
          // wake-up carries nothing made on the worker: the call goes through the queue.
          QMetaObject::invokeMethod(this, "ServeQueue", Qt::QueuedConnection);
      })) {}

QtUiLoop::~QtUiLoop() {
    FQueue->Close();
}

void QtUiLoop::RunAndWait(std::function<void()> call) {
    // The copy keeps the queue alive if the loop is destroyed while this worker waits.
    const std::shared_ptr<THandOverQueue> queue = FQueue;
    queue->RunAndWait(std::move(call));
}

void QtUiLoop::Post(std::function<void()> call) {
    FQueue->Post(std::move(call));
}

void QtUiLoop::ServeQueue() {
    RunGuarded(*this, [this] { FQueue->RunOne(); });
}

bool QtUiLoop::ProcessOneMessage() {
    if (FQueue->RunOne()) return true;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    return dispatcher && dispatcher->processEvents(QEventLoop::AllEvents);
}

std::unique_ptr<ITimer> QtUiLoop::CreateTimer(std::function<void()> onTimer) {
    return std::make_unique<QtTimer>(*this, std::move(onTimer));
}

bool QtUiLoop::IsUiThread() const {
    return FQueue->IsUiThread();
}

void QtUiLoop::Quit() {
    // exit rather than quit: quit asks the windows first, and a close request only hides.
    // Only a running loop is ended: an exit without one would end the next modal dialog.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
        },
        Qt::QueuedConnection);
}

std::size_t QtUiLoop::PendingMessages() const {
    return FQueue->Pending();
}

} // namespace brimble
