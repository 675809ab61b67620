// The cost of the estimate's work on one file's data: compressing a 128 KiB block at the
// levels a scan may use, and planning and summing the blocks of a large sampled file. Bytes
// per second are those of the block (or, for the plan, of the whole file it stands for).

#include "engine/OnDiskEstimate.h"
#include "engine/TBlockCompressor.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace brimble {
namespace {

constexpr int64_t kBlock = 128 * 1024;

// Source-like text: a few hundred words in changing order.
std::string TextBlock() {
    std::mt19937 random(7);
    std::string text;
    while (static_cast<int64_t>(text.size()) < kBlock)
        text += "word" + std::to_string(random() % 400) + (random() % 8 ? " " : ";\n");
    text.resize(kBlock);
    return text;
}

std::string NoiseBlock() {
    std::mt19937 random(9);
    std::string bytes(kBlock, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

void CompressBlock(benchmark::State& state, const std::string& block) {
    if (!TBlockCompressor::Available()) {
        state.SkipWithError("built without zstd");
        return;
    }
    TBlockCompressor compressor;
    const int level = static_cast<int>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(compressor.CompressedSize(block, level));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlock);
}

void BM_CompressTextBlock(benchmark::State& state) {
    CompressBlock(state, TextBlock());
}
BENCHMARK(BM_CompressTextBlock)->Arg(1)->Arg(3)->Arg(9)->Arg(15);

void BM_CompressNoiseBlock(benchmark::State& state) {
    CompressBlock(state, NoiseBlock());
}
BENCHMARK(BM_CompressNoiseBlock)->Arg(3);

// The arithmetic alone for a file of the given MiB: the plan and the sum of its blocks.
void BM_PlanAndSum(benchmark::State& state) {
    const TCompressGeometry geometry;
    const int64_t size = state.range(0) * 1024 * 1024 + 1000;
    for (auto _ : state) {
        const TEstimatePlan plan = PlanEstimate(size, geometry, TSampling{});
        std::vector<TBlockResult> results;
        results.reserve(plan.Blocks.size());
        for (const TBlockSpan& span : plan.Blocks)
            results.push_back({span.Offset, span.Length, span.Length / 3});
        benchmark::DoNotOptimize(EstimateOnDisk(size, plan, results, geometry));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}
BENCHMARK(BM_PlanAndSum)->Arg(1)->Arg(64)->Arg(4096);

} // namespace
} // namespace brimble
