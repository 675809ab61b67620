#include "threads/StdUiLoop.h"

#include "SpinWait.h"
#include "platform/Platform.h"
#include "threads/HandOverQueue.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace brimble {

namespace {

// A timer on a clock that tests move by hand (possibly from another thread) is looked at
// again after this long at the latest.
constexpr std::chrono::milliseconds MaxTimerWait{20};
constexpr std::chrono::milliseconds PollInterval{1};

} // namespace

struct StdUiLoop::TimerState {
    explicit TimerState(std::function<void()> onTimer) : OnTimer(std::move(onTimer)) {}
    const std::function<void()> OnTimer;
    uint32_t Interval = 1000;
    bool Enabled = false;
    bool Alive = true; // false once its owner destroyed it
    uint32_t StartTick = 0;

    // Interval 0 never fires, as with the system's own timers of the original platform.
    bool Due(uint32_t now) const {
        return Alive && Enabled && Interval > 0 &&
               static_cast<uint32_t>(now - StartTick) >= Interval;
    }
};

struct StdUiLoop::Core {
    Core(IClock& clock, TClockKind clockKind) : Clock(clock), ClockKind(clockKind) {}
    IClock& Clock;
    const TClockKind ClockKind;
    std::mutex Mutex;
    std::condition_variable WorkArrived;
    // Set once the loop owns its queue; read for its count only.
    std::shared_ptr<const THandOverQueue> Queue;
    std::vector<std::shared_ptr<TimerState>> Timers;
    uint64_t TimerChanges = 0; // lets a waiting loop recompute its timeout
    bool QuitRequested = false;
    // Counts every reason to wake the loop, for a loop that spins before it sleeps.
    std::atomic<uint64_t> Wakes = 0;

    // Under the mutex, as are the two below.
    bool HasWork() const { return Queue->Pending() > 0 || QuitRequested; }
    void WakeLoop() {
        ++Wakes;
        WorkArrived.notify_all();
    }
    void NoteTimerChange() {
        ++TimerChanges;
        WakeLoop();
    }
};

class StdUiLoop::Timer final : public ITimer {
public:
    Timer(std::shared_ptr<Core> core, std::shared_ptr<TimerState> state)
        : FCore(std::move(core)), FState(std::move(state)) {}

    ~Timer() override {
        std::lock_guard lock(FCore->Mutex);
        FState->Alive = false;
        std::erase(FCore->Timers, FState);
    }
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // Changing the interval of a running timer restarts its count.
    void SetInterval(uint32_t milliseconds) override {
        Restart([&](TimerState& state) { state.Interval = milliseconds; });
    }
    uint32_t Interval() const override {
        std::lock_guard lock(FCore->Mutex);
        return FState->Interval;
    }
    void SetEnabled(bool enabled) override {
        Restart([&](TimerState& state) { state.Enabled = enabled; });
    }
    bool Enabled() const override {
        std::lock_guard lock(FCore->Mutex);
        return FState->Enabled;
    }

private:
    // Applies a change and starts the count afresh from now.
    template <class Change> void Restart(const Change& change) {
        const uint32_t now = FCore->Clock.TickCount();
        std::lock_guard lock(FCore->Mutex);
        change(*FState);
        FState->StartTick = now;
        FCore->NoteTimerChange();
    }

    std::shared_ptr<Core> FCore;
    std::shared_ptr<TimerState> FState;
};

StdUiLoop::StdUiLoop(IClock& clock, TClockKind clockKind)
    : FCore(std::make_shared<Core>(clock, clockKind)),
      FQueue(std::make_shared<THandOverQueue>(std::this_thread::get_id(), [core = FCore.get()] {
          // Under the queue's lock: the loop's own lock is never held while it asks the queue
          // anything but its count.
          const std::lock_guard lock(core->Mutex);
          core->WakeLoop();
      })) {
    FCore->Queue = FQueue;
}

StdUiLoop::~StdUiLoop() {
    FQueue->Close();
}

void StdUiLoop::RunAndWait(std::function<void()> call) {
    // The copy keeps the queue alive if the loop is destroyed while this worker waits.
    const std::shared_ptr<THandOverQueue> queue = FQueue;
    queue->RunAndWait(std::move(call));
}

void StdUiLoop::Post(std::function<void()> call) {
    FQueue->Post(std::move(call));
}

bool StdUiLoop::ProcessOneMessage() {
    if (FQueue->RunOne()) return true;
    // Timers come only when no call is queued, like the system's timer messages.
    const uint32_t now = FCore->Clock.TickCount();
    std::shared_ptr<TimerState> timer;
    {
        std::lock_guard lock(FCore->Mutex);
        auto due = std::find_if(FCore->Timers.begin(), FCore->Timers.end(),
                                [now](const auto& t) { return t->Due(now); });
        if (due == FCore->Timers.end()) return false;
        timer = *due;
        timer->StartTick = now;
    }
    timer->OnTimer();
    return true;
}

std::unique_ptr<ITimer> StdUiLoop::CreateTimer(std::function<void()> onTimer) {
    auto state = std::make_shared<TimerState>(std::move(onTimer));
    {
        std::lock_guard lock(FCore->Mutex);
        FCore->Timers.push_back(state);
    }
    return std::make_unique<Timer>(FCore, std::move(state));
}

bool StdUiLoop::IsUiThread() const {
    return FQueue->IsUiThread();
}

void StdUiLoop::Run() {
    while (!TakeQuitRequest()) {
        if (!ProcessOneMessage()) WaitForWork(false);
    }
}

void StdUiLoop::RunUntil(const std::function<bool()>& done) {
    while (!done()) {
        if (!ProcessOneMessage()) WaitForWork(true);
    }
}

void StdUiLoop::Quit() {
    std::lock_guard lock(FCore->Mutex);
    FCore->QuitRequested = true;
    FCore->WakeLoop();
}

int StdUiLoop::FireDueTimers() {
    const uint32_t now = FCore->Clock.TickCount();
    std::vector<std::shared_ptr<TimerState>> due;
    {
        std::lock_guard lock(FCore->Mutex);
        for (const auto& timer : FCore->Timers)
            if (timer->Due(now)) due.push_back(timer);
    }
    int fired = 0;
    for (const auto& timer : due) {
        {
            // An earlier handler may have disabled or destroyed this one.
            std::lock_guard lock(FCore->Mutex);
            if (!timer->Due(now)) continue;
            timer->StartTick = now;
        }
        timer->OnTimer();
        ++fired;
    }
    return fired;
}

std::size_t StdUiLoop::PendingMessages() const {
    return FQueue->Pending();
}

bool StdUiLoop::TakeQuitRequest() {
    std::lock_guard lock(FCore->Mutex);
    return std::exchange(FCore->QuitRequested, false);
}

void StdUiLoop::WaitForWork(bool poll) {
    const uint64_t wakes = FCore->Wakes.load();
    {
        std::lock_guard lock(FCore->Mutex);
        if (FCore->HasWork()) return;
    }
    if (SpinUntil([&] { return FCore->Wakes.load() != wakes; })) return;
    const uint32_t now = FCore->Clock.TickCount();
    std::unique_lock lock(FCore->Mutex);
    std::optional<std::chrono::milliseconds> timeout;
    if (poll) timeout = PollInterval;
    for (const auto& timer : FCore->Timers) {
        if (!timer->Enabled || timer->Interval == 0) continue;
        const uint32_t passed = now - timer->StartTick;
        if (passed >= timer->Interval) return;
        const std::chrono::milliseconds left{timer->Interval - passed};
        const std::chrono::milliseconds cap =
            FCore->ClockKind == TClockKind::Real ? left : MaxTimerWait;
        timeout = std::min({timeout.value_or(cap), left, cap});
    }
    const uint64_t changes = FCore->TimerChanges;
    auto woken = [&] { return FCore->HasWork() || FCore->TimerChanges != changes; };
    if (timeout)
        FCore->WorkArrived.wait_for(lock, *timeout, woken);
    else
        FCore->WorkArrived.wait(lock, woken);
}

} // namespace brimble
