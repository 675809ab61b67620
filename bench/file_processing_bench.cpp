// What one found file costs on the sim platform: a file that needs no action, with the log
// quiet (level 0) and with the trace on (level 2: the log is opened, appended to and closed
// for every entry); and one compression round trip (worker thread start, wait, bookkeeping).

#include "BenchEngine.h"

#include <benchmark/benchmark.h>
#include <memory>
#include <string>

namespace brimble {
namespace {

const std::string kDir = "C:\\Users\\u\\Documents\\Projects\\";

// An engine with the default options in the middle of a manual scan.
class ProcessingSetup : public bench::BenchEngine {
public:
    explicit ProcessingSetup(int logLevel) {
        started = StartPausedScan();
        engine->LogFile().SetLogLevel(logLevel);
    }

    // Starts the log afresh, so that a long run does not measure an ever larger file.
    void RestartLog() { sim.EraseFile(engine->LogFile().FileName()); }

    bool started = false;
};

// A file below one cluster: turned down, nothing is done to it, but it is counted.
void BM_ProcessFoundFileNoAction(benchmark::State& state) {
    ProcessingSetup setup(static_cast<int>(state.range(0)));
    if (!setup.started) {
        state.SkipWithError("no scan to hand the file to");
        return;
    }
    setup.sim.AddFile(kDir + "notes.txt", 100);
    const TFileAttrRec entry = *setup.sim.FindEntry(kDir + "notes.txt");
    if (setup.engine->GetCompressAction(kDir, entry) != TCompressAction::caNone) {
        state.SkipWithError("the file is not left alone");
        return;
    }
    int64_t files = 0;
    for (auto _ : state) {
        setup.engine->ProcessFoundFile(nullptr, kDir, entry);
        if (++files % 1000 == 0) setup.RestartLog();
    }
    if (setup.engine->Stats().FilesOnDisk_Count != files)
        state.SkipWithError("not every file was counted");
    state.SetItemsProcessed(files);
    state.SetLabel("log level " + std::to_string(state.range(0)));
}
BENCHMARK(BM_ProcessFoundFileNoAction)->Arg(0)->Arg(2)->Unit(benchmark::kMicrosecond);

// One compression of a file through the worker thread; the file stays compressed, so each
// round issues the same request again.
void BM_CompressionRoundTrip(benchmark::State& state) {
    ProcessingSetup setup(0);
    if (!setup.started) {
        state.SkipWithError("no scan to hand the file to");
        return;
    }
    const std::string file = kDir + "report.txt";
    setup.sim.AddFile(file, 100'000);
    int64_t rounds = 0;
    for (auto _ : state) {
        if (!setup.engine->TryCompressFile(file, TCompressAction::caCompress)) {
            state.SkipWithError("compression failed");
            break;
        }
        ++rounds;
        if (rounds % 1000 == 0) setup.sim.ClearOperations();
    }
    state.SetItemsProcessed(rounds);
}
BENCHMARK(BM_CompressionRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
} // namespace brimble
