#include "threads/HandOverQueue.h"

#include "SpinWait.h"

#include <chrono>
#include <exception>
#include <stdexcept>
#include <utility>

namespace brimble {

namespace {

std::exception_ptr LoopEnded() {
    return std::make_exception_ptr(std::runtime_error("The UI loop has ended"));
}

} // namespace

struct THandOverQueue::Message {
    Message(std::function<void()> call, bool waited) : Call(std::move(call)), Waited(waited) {}
    std::function<void()> Call;
    const bool Waited;              // a worker blocks in RunAndWait until Done
    std::atomic<bool> Done = false; // set under the queue's mutex, read by a spinning worker
    std::exception_ptr Error;
    std::condition_variable DoneChanged;
};

THandOverQueue::THandOverQueue(std::thread::id uiThread, std::function<void()> wake)
    : FUiThread(uiThread), FWake(std::move(wake)) {}

THandOverQueue::~THandOverQueue() {
    Close();
}

void THandOverQueue::RunAndWait(std::function<void()> call) {
    if (IsUiThread()) {
        call();
        return;
    }
    auto message = std::make_shared<Message>(std::move(call), true);
    std::unique_lock lock(FMutex);
    if (FClosed) std::rethrow_exception(LoopEnded());
    FQueue.push_back(message);
    ++FPending;
    FWake();
    lock.unlock();
    SpinUntil([&] { return message->Done.load(); });
    lock.lock();
    message->DoneChanged.wait(lock, [&] { return message->Done.load(); });
    // Taken out under the lock, so that the exception object dies on this thread.
    const std::exception_ptr error = std::move(message->Error);
    lock.unlock();
    if (error) std::rethrow_exception(error);
}

void THandOverQueue::Post(std::function<void()> call) {
    auto message = std::make_shared<Message>(std::move(call), false);
    const std::lock_guard lock(FMutex);
    if (FClosed) return; // dropped outside the lock, with Message
    FQueue.push_back(std::move(message));
    ++FPending;
    FWake();
}

bool THandOverQueue::RunOne() {
    std::shared_ptr<Message> message;
    {
        const std::lock_guard lock(FMutex);
        if (FQueue.empty()) return false;
        message = std::move(FQueue.front());
        FQueue.pop_front();
        --FPending;
    }
    if (!message->Waited) {
        // Destroyed here, on this thread, also when the call throws.
        const std::function<void()> call = std::move(message->Call);
        call();
        return true;
    }
    std::exception_ptr error;
    try {
        message->Call();
    } catch (...) {
        error = std::current_exception();
    }
    // Destroyed here, before the worker goes on, so that its captures die on this thread.
    message->Call = nullptr;
    const std::lock_guard lock(FMutex);
    message->Error = std::move(error);
    message->Done = true;
    message->DoneChanged.notify_all();
    return true;
}

void THandOverQueue::Close() {
    std::deque<std::shared_ptr<Message>> dropped;
    {
        const std::lock_guard lock(FMutex);
        FClosed = true;
        dropped.swap(FQueue);
        FPending = 0;
        for (const auto& message : dropped) {
            if (!message->Waited) continue;
            message->Error = LoopEnded();
            message->Done = true;
            message->DoneChanged.notify_all();
        }
    }
    // Dropped calls die here, outside the lock: their captures may do anything.
}

} // namespace brimble
