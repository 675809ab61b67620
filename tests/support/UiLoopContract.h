#pragma once

// The hand-over contract that every UI loop keeps, as one table of cases: the standard
// loop runs it in the unit tests, the Qt loop offscreen in the shell tests. Each case
// returns what went wrong, or nothing.

#include "threads/UiLoop.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace brimble::test {

struct TUiLoopHarness {
    // A new loop on the calling thread, which is its UI thread.
    std::function<std::unique_ptr<IUiLoop>()> Make;
    // Handles the loop's messages on this thread until Done says so; false after 10 s.
    std::function<bool(IUiLoop& loop, const std::function<bool()>& done)> Serve;
};

struct TUiLoopContractCase {
    const char* Name;
    std::function<std::optional<std::string>(const TUiLoopHarness&)> Check;
};

namespace contract {

// Records the thread on which it is destroyed.
struct TCaptureProbe {
    explicit TCaptureProbe(std::atomic<std::thread::id>& diedOn) : DiedOn(&diedOn) {}
    TCaptureProbe(const TCaptureProbe& other) : DiedOn(other.DiedOn) {}
    ~TCaptureProbe() {
        if (Armed) *DiedOn = std::this_thread::get_id();
    }
    std::atomic<std::thread::id>* DiedOn;
    bool Armed = false; // only the copy inside the queued call reports
};

inline std::optional<std::string> Fail(const std::string& what) {
    return what;
}

} // namespace contract

inline const std::vector<TUiLoopContractCase>& UiLoopContractCases() {
    using contract::Fail;
    static const std::vector<TUiLoopContractCase> cases = {
        {"a worker's call runs on the UI thread and the worker goes on after it",
         [](const TUiLoopHarness& h) -> std::optional<std::string> {
             auto loop = h.Make();
             std::atomic<bool> ranOnUi = false, done = false;
             std::jthread worker([&] {
                 loop->RunAndWait([&] { ranOnUi = loop->IsUiThread(); });
                 done = true;
             });
             if (!h.Serve(*loop, [&] { return done.load(); })) return Fail("never returned");
             if (!ranOnUi) return Fail("ran on another thread");
             return std::nullopt;
         }},
        {"a call handed over on the UI thread itself runs at once",
         [](const TUiLoopHarness& h) -> std::optional<std::string> {
             auto loop = h.Make();
             bool ran = false;
             loop->RunAndWait([&] { ran = true; });
             if (!ran) return Fail("did not run at once");
             return std::nullopt;
         }},
        {"an error of a handed-over call is raised again in the worker only",
         [](const TUiLoopHarness& h) -> std::optional<std::string> {
             auto loop = h.Make();
             std::string workerSaw;
             std::atomic<bool> done = false;
             std::jthread worker([&] {
                 try {
                     loop->RunAndWait([] { throw std::runtime_error("refused"); });
                 } catch (const std::runtime_error& error) {
                     workerSaw = error.what();
                 }
                 done = true;
             });
             bool servedWithoutError = true;
             try {
                 if (!h.Serve(*loop, [&] { return done.load(); })) return Fail("never returned");
             } catch (...) {
                 servedWithoutError = false;
             }
             if (!servedWithoutError) return Fail("the error left on the UI thread");
             if (workerSaw != "refused") return Fail("the worker saw '" + workerSaw + "'");
             return std::nullopt;
         }},
        {"posted calls run in the order they were posted",
         [](const TUiLoopHarness& h) -> std::optional<std::string> {
             auto loop = h.Make();
             std::vector<int> order;
             std::jthread worker([&] {
                 for (int i = 0; i < 3; ++i)
                     loop->Post([&order, i] { order.push_back(i); });
             });
             worker.join();
             if (!h.Serve(*loop, [&] { return order.size() == 3; })) return Fail("not all ran");
             if (order != std::vector<int>{0, 1, 2}) return Fail("out of order");
             return std::nullopt;
         }},
        {"a finished call's captures are destroyed on the UI thread",
         [](const TUiLoopHarness& h) -> std::optional<std::string> {
             auto loop = h.Make();
             std::atomic<std::thread::id> waitedDiedOn, postedDiedOn;
             std::atomic<bool> done = false;
             std::jthread worker([&] {
                 contract::TCaptureProbe waited(waitedDiedOn), posted(postedDiedOn);
                 loop->RunAndWait([probe = waited]() mutable { probe.Armed = true; });
                 loop->Post([probe = posted]() mutable { probe.Armed = true; });
                 done = true;
             });
             const auto ui = std::this_thread::get_id();
             if (!h.Serve(*loop, [&] { return done && postedDiedOn.load() == ui; }))
                 return Fail("the posted call's captures did not die on the UI thread");
             if (waitedDiedOn.load() != ui)
                 return Fail("the handed-over call's captures did not die on the UI thread");
             return std::nullopt;
         }},
        {"a worker still waiting when the loop ends gets an error",
         [](const TUiLoopHarness& h) -> std::optional<std::string> {
             auto loop = h.Make();
             std::string workerSaw;
             std::jthread worker([&, raw = loop.get()] {
                 try {
                     raw->RunAndWait([] {});
                 } catch (const std::runtime_error& error) {
                     workerSaw = error.what();
                 }
             });
             while (loop->PendingMessages() == 0)
                 std::this_thread::yield();
             loop.reset();
             worker.join();
             if (workerSaw.empty()) return Fail("the worker was not told");
             return std::nullopt;
         }},
    };
    return cases;
}

} // namespace brimble::test
