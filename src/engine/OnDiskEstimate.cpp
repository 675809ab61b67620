// The estimate's arithmetic: which blocks to read, how the file system stores each, and the
// scaling of a sample to the whole file.

#include "engine/OnDiskEstimate.h"

#include <algorithm>
#include <cmath>

namespace brimble {

namespace {

int64_t RoundUp(int64_t value, int64_t unit) {
    return (value + unit - 1) / unit * unit;
}

int64_t CeilDiv(int64_t value, int64_t divisor) {
    return (value + divisor - 1) / divisor;
}

void AddRunBlocks(int64_t run, int64_t fileSize, const TCompressGeometry& geometry,
                  std::vector<TBlockSpan>& blocks) {
    const int64_t end = std::min(fileSize, (run + 1) * geometry.RunSize());
    for (int64_t offset = run * geometry.RunSize(); offset < end; offset += geometry.BlockSize)
        blocks.push_back({offset, std::min(geometry.BlockSize, end - offset)});
}

// A file that fits in one sector: inline when its data (compressed or, when short enough,
// not) fits in the metadata, else one plain sector.
int64_t SmallFileOnDisk(int64_t fileSize, int64_t compressed, const TCompressGeometry& geometry) {
    // Compressed data no smaller than the file counts as not compressible.
    if (geometry.MaxInline > 0 && compressed >= 0 && compressed < fileSize &&
        compressed <= geometry.MaxInline)
        return compressed;
    if (fileSize <= geometry.MaxInline && fileSize < geometry.SectorSize) return fileSize;
    return RoundUp(fileSize, geometry.SectorSize);
}

// One run: its blocks compressed in order until one does not shrink; from there on the
// run is written as it is where the file system hands runs to compression whole.
int64_t RunOnDisk(std::vector<TBlockResult>::const_iterator first,
                  std::vector<TBlockResult>::const_iterator last,
                  const TCompressGeometry& geometry) {
    int64_t bytes = 0;
    bool plain = false;
    for (auto block = first; block != last; ++block) {
        plain = (plain && geometry.RestOfRunPlain) ||
                !KeepsCompressed(block->Length, block->Compressed, geometry);
        bytes += plain ? RoundUp(block->Length, geometry.SectorSize)
                       : RoundUp(block->Compressed, geometry.SectorSize);
    }
    return bytes;
}

} // namespace

TCompressGeometry NtfsGeometry(int64_t clusterSize) {
    constexpr int64_t kUnitClusters = 16;
    TCompressGeometry geometry;
    const int64_t sampleStretch = geometry.RunSize();
    geometry.SectorSize = clusterSize > 0 ? clusterSize : 4096;
    geometry.BlockSize = kUnitClusters * geometry.SectorSize;
    geometry.RunBlocks = std::max<int64_t>(1, sampleStretch / geometry.BlockSize);
    geometry.RestOfRunPlain = false;
    // Data small enough for the file record is never compressed: a file of one cluster
    // cannot save one.
    geometry.MaxInline = 0;
    return geometry;
}

TEstimatePlan PlanEstimate(int64_t fileSize, const TCompressGeometry& geometry,
                           const TSampling& sampling) {
    TEstimatePlan plan;
    if (fileSize <= 0) return plan;
    plan.Runs = CeilDiv(fileSize, geometry.RunSize());
    AddRunBlocks(0, fileSize, geometry, plan.Blocks);
    if (plan.Runs == 1) return plan;
    const int64_t middle = plan.Runs - 2;
    int64_t wanted = middle;
    if (plan.Runs > sampling.WholeRuns)
        wanted = std::clamp(CeilDiv(middle, std::max<int64_t>(sampling.ShareDivisor, 1)),
                            sampling.MinSampledRuns,
                            std::max(sampling.MinSampledRuns, sampling.MaxSampledRuns));
    plan.SampledRuns = std::min(wanted, middle);
    for (int64_t j = 0; j < plan.SampledRuns; ++j) {
        // The middle of each of SampledRuns equal stretches of the runs between.
        const int64_t run =
            plan.SampledRuns == middle ? j : (2 * j + 1) * middle / (2 * plan.SampledRuns);
        AddRunBlocks(1 + run, fileSize, geometry, plan.Blocks);
    }
    AddRunBlocks(plan.Runs - 1, fileSize, geometry, plan.Blocks);
    return plan;
}

bool KeepsCompressed(int64_t length, int64_t compressed, const TCompressGeometry& geometry) {
    if (compressed < 0) return false;
    return RoundUp(compressed, geometry.SectorSize) + geometry.SectorSize <=
           RoundUp(length, geometry.SectorSize);
}

int64_t EstimateOnDisk(int64_t fileSize, const TEstimatePlan& plan,
                       const std::vector<TBlockResult>& results,
                       const TCompressGeometry& geometry) {
    if (fileSize <= 0 || results.empty()) return 0;
    if (fileSize <= geometry.SectorSize)
        return SmallFileOnDisk(fileSize, results.front().Compressed, geometry);

    const int64_t lastRun = plan.Runs - 1;
    int64_t sampled = 0; // the runs between the first and the last
    int64_t exact = 0;   // the first and the last run
    for (auto first = results.begin(); first != results.end();) {
        const int64_t run = first->Offset / geometry.RunSize();
        const auto end = std::find_if(first, results.end(), [&](const TBlockResult& block) {
            return block.Offset / geometry.RunSize() != run;
        });
        (run == 0 || run == lastRun ? exact : sampled) += RunOnDisk(first, end, geometry);
        first = end;
    }
    if (!plan.Sampled() || plan.SampledRuns == 0) return exact + sampled;
    const long double scale =
        static_cast<long double>(plan.Runs - 2) / static_cast<long double>(plan.SampledRuns);
    return static_cast<int64_t>(std::llround(static_cast<long double>(sampled) * scale)) + exact;
}

} // namespace brimble
