// The cost of one compression decision with the default options: both filter texts are
// read afresh every time, so this is what each file of a scan pays.

#include "BenchEngine.h"

#include <benchmark/benchmark.h>
#include <memory>
#include <string>
#include <vector>

namespace brimble {
namespace {

// An engine with the default options, the start-up never list and the default excluded
// folders as a scan expands them.
class DecisionSetup : public bench::BenchEngine {
public:
    DecisionSetup() {
        engine->Options().ExcludeFolders = {
            "C:\\Windows\\=", "C:\\Users\\u\\AppData\\Local\\Temp\\=",
            "C:\\Users\\u\\AppData\\Local\\Temp\\=", "C:\\Users\\u\\AppData\\Local\\=",
            "C:\\Users\\u\\AppData\\Roaming\\="};
        engine->RebuildExpandedFolders();
    }

    void Run(benchmark::State& state, const std::string& name, TCompressAction expected) {
        const std::string dir = "C:\\Users\\u\\Documents\\Projects\\";
        const TFileAttrRec entry{name, 100'000, fa::Archive};
        if (engine->GetCompressAction(dir, entry) != expected) {
            state.SkipWithError("unexpected action");
            return;
        }
        for (auto _ : state)
            benchmark::DoNotOptimize(engine->GetCompressAction(dir, entry));
        state.SetItemsProcessed(state.iterations());
    }
};

// A typical included file: "txt" stands early in the including filter.
void BM_DecisionDefaultOptions(benchmark::State& state) {
    DecisionSetup setup;
    setup.Run(state, "notes.txt", TCompressAction::caCompress);
}
BENCHMARK(BM_DecisionDefaultOptions);

// "nif" is the last entry of the including filter.
void BM_DecisionMatchedLate(benchmark::State& state) {
    DecisionSetup setup;
    setup.Run(state, "terrain.nif", TCompressAction::caCompress);
}
BENCHMARK(BM_DecisionMatchedLate);

// "pf" misses the whole including filter and is the last entry of the excluding one.
void BM_DecisionExcludedExtension(benchmark::State& state) {
    DecisionSetup setup;
    setup.Run(state, "APP.EXE-1A2B3C4D.pf", TCompressAction::caNone);
}
BENCHMARK(BM_DecisionExcludedExtension);

} // namespace
} // namespace brimble
