#pragma once

// Jobs run on a few worker threads while their caller goes on; their results come back in the
// order the jobs were given, so the caller can count them as if it had run them itself. Each
// worker has a state of its own (a compression context, say). The handle stops and joins its
// workers on every path.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace brimble {

template <class Result, class WorkerState> class TOrderedPool {
public:
    using Job = std::function<Result(WorkerState&)>;

    explicit TOrderedPool(std::size_t workers) {
        workers = std::max<std::size_t>(workers, 1);
        for (std::size_t i = 0; i < workers; ++i)
            FStates.push_back(std::make_unique<WorkerState>());
        try {
            for (auto& state : FStates)
                FThreads.emplace_back([this, &state] { Work(*state); });
        } catch (...) {
            Stop();
            throw;
        }
    }
    ~TOrderedPool() { Stop(); }
    TOrderedPool(const TOrderedPool&) = delete;
    TOrderedPool& operator=(const TOrderedPool&) = delete;

    // Queued behind the jobs given before; ignored once the pool has stopped.
    void Submit(Job job) {
        auto slot = std::make_shared<TSlot>();
        slot->Work = std::move(job);
        const std::lock_guard lock(FMutex);
        if (FStopping) return;
        FOrder.push_back(slot);
        FQueue.push_back(std::move(slot));
        FWorkAdded.notify_one();
    }

    std::size_t Workers() const { return FStates.size(); }

    // Runs Setting on every worker, each on its own thread before its next job: what a platform
    // lets a thread set only for itself, such as its priority. A later setting replaces one
    // that a worker has not run yet; an error in it leaves that worker as it was.
    void SetWorkerSetting(std::function<void()> setting) {
        const std::lock_guard lock(FMutex);
        FSetting = std::make_shared<const std::function<void()>>(std::move(setting));
        ++FSettingVersion;
    }

    // Jobs given and not yet taken back with Next.
    std::size_t Pending() const {
        const std::lock_guard lock(FMutex);
        return FOrder.size();
    }

    // The result of the oldest pending job; with Wait, once it is done. Nothing when no job
    // is pending, the oldest is not done (without Wait) or the pool stopped before running
    // it. A job's exception comes out here.
    std::optional<Result> Next(bool wait) {
        std::unique_lock lock(FMutex);
        if (FOrder.empty()) return std::nullopt;
        if (wait) FDone.wait(lock, [this] { return FOrder.front()->Done || FStopping; });
        if (!FOrder.front()->Done) return std::nullopt;
        const std::shared_ptr<TSlot> slot = std::move(FOrder.front());
        FOrder.pop_front();
        lock.unlock();
        if (slot->Error) std::rethrow_exception(slot->Error);
        return std::move(slot->Value);
    }

    // Jobs not started are dropped; running ones finish before this returns.
    void Stop() {
        {
            const std::lock_guard lock(FMutex);
            FStopping = true;
            FQueue.clear();
        }
        FWorkAdded.notify_all();
        FDone.notify_all();
        for (std::thread& thread : FThreads)
            if (thread.joinable()) thread.join();
    }

private:
    struct TSlot {
        Job Work;
        std::optional<Result> Value;
        std::exception_ptr Error;
        bool Done = false;
    };

    void Work(WorkerState& state) {
        uint64_t settingVersion = 0;
        std::unique_lock lock(FMutex);
        for (;;) {
            FWorkAdded.wait(lock, [this] { return FStopping || !FQueue.empty(); });
            if (FStopping) return;
            const std::shared_ptr<TSlot> slot = std::move(FQueue.front());
            FQueue.pop_front();
            std::shared_ptr<const std::function<void()>> setting;
            if (settingVersion != FSettingVersion) {
                settingVersion = FSettingVersion;
                setting = FSetting;
            }
            lock.unlock();
            if (setting) ApplySetting(*setting);
            std::optional<Result> value;
            std::exception_ptr error;
            try {
                value.emplace(slot->Work(state));
            } catch (...) {
                error = std::current_exception();
            }
            slot->Work = nullptr; // its captures die here, not on the collecting thread
            lock.lock();
            slot->Value = std::move(value);
            slot->Error = std::move(error);
            slot->Done = true;
            FDone.notify_all();
        }
    }

    static void ApplySetting(const std::function<void()>& setting) {
        try {
            setting();
        } catch (...) {
            // The worker goes on as it was: its jobs matter more than its setting.
        }
    }

    mutable std::mutex FMutex;
    std::condition_variable FWorkAdded;
    std::condition_variable FDone;
    std::deque<std::shared_ptr<TSlot>> FQueue; // not started yet
    std::deque<std::shared_ptr<TSlot>> FOrder; // given, not taken back, in order
    bool FStopping = false;
    std::shared_ptr<const std::function<void()>> FSetting;
    uint64_t FSettingVersion = 0; // each worker runs the setting when its copy is older
    std::vector<std::unique_ptr<WorkerState>> FStates;
    std::vector<std::thread> FThreads; // last: joined before the rest goes
};

} // namespace brimble
