// What the persistent lists cost as they grow: a pass over the delayed list, a found file
// of a scan looked up in it, and the timer tick's purge, each with 1,000 and 100,000
// entries (and the tick with none). A cost that grows with the list is a fault: the figures
// per entry or per file should be the same for both sizes.

#include "BenchEngine.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <memory>
#include <string>

namespace brimble {
namespace {

const std::string kDir = "C:\\Users\\u\\Documents\\Delayed\\";

std::string FileOf(int64_t i) {
    return kDir + "f" + std::to_string(i) + ".txt";
}

// An engine whose delayed list holds Count files of the folder (each added to the sim when
// Files is true).
class ListSetup : public bench::BenchEngine {
public:
    ListSetup(int64_t count, bool files) {
        engine->Options().FilterIncluding = "txt";
        engine->Options().MoveToNeverCompressDelay = 100'000; // no entry ages away here
        engine->LogFile().SetLogLevel(0);
        Fill(count, files);
    }

    void Fill(int64_t count, bool files) {
        for (int64_t i = 0; i < count; ++i) {
            if (files) sim.AddFile(FileOf(i), 100);
            engine->AddToList(TListKind::lkDelayed, FileOf(i));
        }
    }
};

// How the files of a pass end.
enum class PassFiles {
    Gone,       // each entry leaves without a look at a file
    NoAction,   // each file needs nothing done and leaves the list
    HalfLocked, // every other file is locked and stays: the others leave from among them
};

void BM_DelayedPass(benchmark::State& state) {
    const int64_t count = state.range(0);
    const auto files = static_cast<PassFiles>(state.range(1));
    int64_t entries = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto setup = std::make_unique<ListSetup>(0, false);
        for (int64_t i = 0; i < count; ++i) {
            const bool locked = files == PassFiles::HalfLocked && i % 2 == 0;
            if (files != PassFiles::Gone) setup->sim.AddFile(FileOf(i), locked ? 100'000 : 100);
            if (locked) setup->sim.SetLocked(FileOf(i), true);
            setup->engine->AddToList(TListKind::lkDelayed, FileOf(i));
        }
        state.ResumeTiming();

        setup->engine->ProcessDelayedFiles(false, false);

        state.PauseTiming();
        const std::size_t left = setup->engine->CompressList(TListKind::lkDelayed)->Count();
        if (left != (files == PassFiles::HalfLocked ? static_cast<std::size_t>(count + 1) / 2 : 0))
            state.SkipWithError("the pass left other entries");
        setup.reset();
        state.ResumeTiming();
        entries += count;
    }
    state.SetItemsProcessed(entries);
    state.SetLabel(files == PassFiles::Gone       ? "files gone"
                   : files == PassFiles::NoAction ? "nothing to do"
                                                  : "half locked");
}
BENCHMARK(BM_DelayedPass)
    ->ArgsProduct({{1'000, 100'000}, {0, 1}})
    ->Args({1'000, 2})
    ->Args({20'000, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A file that a manual scan finds and leaves alone: its name is looked up in the never list
// and, since nothing is done, in the delayed list to drop it from there.
void BM_ScanFileWithDelayedList(benchmark::State& state) {
    ListSetup setup(state.range(0), false);
    if (!setup.StartPausedScan()) {
        state.SkipWithError("no scan to hand the file to");
        return;
    }
    const std::string dir = "C:\\Users\\u\\Documents\\Projects\\";
    setup.sim.AddFile(dir + "notes.txt", 100);
    const TFileAttrRec entry = *setup.sim.FindEntry(dir + "notes.txt");
    int64_t files = 0;
    for (auto _ : state) {
        setup.engine->ProcessFoundFile(nullptr, dir, entry);
        ++files;
    }
    state.SetItemsProcessed(files);
}
BENCHMARK(BM_ScanFileWithDelayedList)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

// The same for a file on the delayed list: found, dropped, and put back untimed.
void BM_ScanListedFile(benchmark::State& state) {
    ListSetup setup(state.range(0), true);
    if (!setup.StartPausedScan()) {
        state.SkipWithError("no scan to hand the file to");
        return;
    }
    const std::string listed = FileOf(state.range(0) / 2);
    const TFileAttrRec entry = *setup.sim.FindEntry(listed);
    int64_t files = 0;
    for (auto _ : state) {
        setup.engine->ProcessFoundFile(nullptr, kDir, entry);
        state.PauseTiming();
        if (!setup.engine->AddToList(TListKind::lkDelayed, listed))
            state.SkipWithError("the file was not dropped from the list");
        state.ResumeTiming();
        ++files;
    }
    state.SetItemsProcessed(files);
}
BENCHMARK(BM_ScanListedFile)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

// One idle tick of the incessant timer in the interactive mode, the clock a second on each
// time, with a delayed list of files that all exist: averaged over many ticks, so over the
// sweeps that look at the files and the day changes.
void BM_IdleTick(benchmark::State& state) {
    ListSetup setup(state.range(0), true);
    setup.engine->Options().SmartCompressMode = TSmartCompressMode::scmInteractive;
    setup.engine->Options().CompressionDelay = 20;
    int64_t ticks = 0;
    for (auto _ : state) {
        setup.sim.AdvanceMilliseconds(1000);
        setup.engine->tmrIncessantTimer();
        ++ticks;
    }
    if (setup.engine->CompressList(TListKind::lkDelayed)->Count() !=
        static_cast<std::size_t>(state.range(0)))
        state.SkipWithError("an entry of an existing file was dropped");
    state.SetItemsProcessed(ticks);
}
BENCHMARK(BM_IdleTick)->Arg(0)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

// The list alone: a name looked up that is listed, and one that is not.
void BM_ListLookUp(benchmark::State& state) {
    sim::SimPlatform sim;
    TCompressList list(sim.PathRules());
    const int64_t count = state.range(0);
    for (int64_t i = 0; i < count; ++i)
        list.Add(FileOf(i) + "=46000");
    int64_t i = 0;
    for (auto _ : state) {
        const std::string name = FileOf(i++ % (2 * count)); // half of them listed
        benchmark::DoNotOptimize(list.IndexOfName(name));
    }
    state.SetItemsProcessed(i);
}
BENCHMARK(BM_ListLookUp)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kNanosecond);

// For comparison: what a purge that looks at every file costs, as each tick once did.
void BM_FullPurge(benchmark::State& state) {
    ListSetup setup(state.range(0), true);
    for (auto _ : state)
        setup.engine->PurgeList(TListKind::lkDelayed, true);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FullPurge)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace brimble
