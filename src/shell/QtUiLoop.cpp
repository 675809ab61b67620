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

struct QtUiLoop::Message {
    explicit Message(std::function<void()> call, bool waited)
        : Call(std::move(call)), Waited(waited) {}
    std::function<void()> Call;
    const bool Waited;
    bool Done = false; // under the core's mutex
    std::exception_ptr Error;
};

struct QtUiLoop::Core {
    mutable std::mutex Mutex;
    std::condition_variable DoneChanged;
    std::deque<std::shared_ptr<Message>> Queue;
    // Null once the loop is gone: a late worker then gets an error instead of a dangling
    // receiver.
    QtUiLoop* Receiver = nullptr;
};

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

QtUiLoop::QtUiLoop() : FCore(std::make_shared<Core>()), FUiThread(std::this_thread::get_id()) {
    FCore->Receiver = this;
}

QtUiLoop::~QtUiLoop() {
    std::deque<std::shared_ptr<Message>> dropped;
    {
        const std::lock_guard lock(FCore->Mutex);
        FCore->Receiver = nullptr;
        dropped.swap(FCore->Queue);
        for (const auto& message : dropped) {
            if (!message->Waited) continue;
            message->Error = std::make_exception_ptr(std::runtime_error("The UI loop has ended"));
            message->Done = true;
        }
    }
    FCore->DoneChanged.notify_all();
}

void QtUiLoop::Enqueue(const std::shared_ptr<Message>& message) {
    const std::lock_guard lock(FCore->Mutex);
    if (!FCore->Receiver) throw std::runtime_error("The UI loop has ended");
    FCore->Queue.push_back(message);
    // Posted under the lock: the destructor cannot run between the check and the post. By
    // name, so that the wake-up carries nothing made on this thread: the call itself goes
    // through the queue and its lock.
    QMetaObject::invokeMethod(FCore->Receiver, "ServeQueue", Qt::QueuedConnection);
}

void QtUiLoop::RunAndWait(std::function<void()> call) {
    if (IsUiThread()) {
        call();
        return;
    }
    const std::shared_ptr<Core> core = FCore; // outlives the loop while this worker waits
    auto message = std::make_shared<Message>(std::move(call), true);
    Enqueue(message);
    std::unique_lock lock(core->Mutex);
    core->DoneChanged.wait(lock, [&] { return message->Done; });
    // Taken out under the lock, so that the exception object dies on this thread.
    const std::exception_ptr error = std::move(message->Error);
    lock.unlock();
    if (error) std::rethrow_exception(error);
}

void QtUiLoop::Post(std::function<void()> call) {
    Enqueue(std::make_shared<Message>(std::move(call), false));
}

bool QtUiLoop::RunOneQueued() {
    std::shared_ptr<Message> message;
    {
        const std::lock_guard lock(FCore->Mutex);
        if (FCore->Queue.empty()) return false;
        message = std::move(FCore->Queue.front());
        FCore->Queue.pop_front();
    }
    if (!message->Waited) {
        message->Call();
        return true;
    }
    std::exception_ptr error;
    try {
        message->Call();
    } catch (...) {
        error = std::current_exception();
    }
    {
        const std::lock_guard lock(FCore->Mutex);
        message->Error = std::move(error);
        message->Done = true;
    }
    FCore->DoneChanged.notify_all();
    return true;
}

void QtUiLoop::ServeQueue() {
    RunGuarded(*this, [this] { RunOneQueued(); });
}

bool QtUiLoop::ProcessOneMessage() {
    if (RunOneQueued()) return true;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    return dispatcher && dispatcher->processEvents(QEventLoop::AllEvents);
}

std::unique_ptr<ITimer> QtUiLoop::CreateTimer(std::function<void()> onTimer) {
    return std::make_unique<QtTimer>(*this, std::move(onTimer));
}

bool QtUiLoop::IsUiThread() const {
    return std::this_thread::get_id() == FUiThread;
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
    const std::lock_guard lock(FCore->Mutex);
    return FCore->Queue.size();
}

} // namespace brimble
