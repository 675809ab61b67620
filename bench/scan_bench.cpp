// The scan thread's speed on the sim platform: files walked and handed over per second, and
// the round trip of one hand-over to the UI thread.

#include "platform/sim/SimPlatform.h"
#include "threads/StdUiLoop.h"
#include "threads/TScanPathThread.h"

#include <benchmark/benchmark.h>
#include <future>
#include <memory>
#include <string>
#include <thread>

namespace brimble {
namespace {

// Folders of 100 files each below C:\Root.
void AddTree(sim::SimPlatform& sim, int files) {
    sim.AddVolume("C:\\", DriveType::Fixed);
    for (int i = 0; i < files; ++i)
        sim.AddFile("C:\\Root\\d" + std::to_string(i / 100) + "\\f" + std::to_string(i) + ".txt",
                    4096);
}

// One whole walk per iteration; every file is handed over to the UI thread (this one).
void BM_WalkWithHandOver(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    sim::SimPlatform sim;
    AddTree(sim, files);
    StdUiLoop loop(sim);
    int64_t reported = 0;
    int completions = 0;
    TScanPathThread thread(sim, loop, "C:\\Root");
    thread.OnFileFound = [&](TScanPathThread&, const std::string&, const TFileAttrRec&) {
        ++reported;
    };
    thread.OnComplete = [&](TScanPathThread&, bool) { ++completions; };
    thread.Start();
    loop.RunUntil([&] { return completions == 1 && thread.Idle(); });
    reported = 0;

    for (auto _ : state) {
        const int target = completions + 1;
        thread.Scan("C:\\Root");
        loop.RunUntil([&] { return completions == target; });
    }
    if (reported != files * static_cast<int64_t>(state.iterations()))
        state.SkipWithError("not every file was reported");
    state.SetItemsProcessed(reported);
    // Seconds per file, printed with an SI prefix (u for microseconds).
    state.counters["per_file"] = benchmark::Counter(
        static_cast<double>(reported), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WalkWithHandOver)->Arg(10'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One RunAndWait from a worker (this thread) to a UI thread that waits in Run.
void BM_HandOverRoundTrip(benchmark::State& state) {
    sim::SimPlatform sim;
    std::promise<StdUiLoop*> started;
    std::thread ui([&] {
        StdUiLoop loop(sim);
        started.set_value(&loop);
        loop.Run();
    });
    StdUiLoop& loop = *started.get_future().get();
    int calls = 0;
    for (auto _ : state)
        loop.RunAndWait([&] { ++calls; });
    loop.Quit();
    ui.join();
    state.SetItemsProcessed(calls);
}
BENCHMARK(BM_HandOverRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
} // namespace brimble
