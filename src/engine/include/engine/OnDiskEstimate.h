#pragma once

// What a file will take on disk once the file system has compressed it, worked out from the
// compressed sizes of some of its blocks. Arithmetic only: reading and compressing the
// blocks is the caller's.

#include <cstdint>
#include <vector>

namespace brimble {

// How a file system lays compressed data out; btrfs's unless made by NtfsGeometry.
struct TCompressGeometry {
    int64_t BlockSize = 128 * 1024; // compressed one at a time, each an extent of its own
    // Blocks handed to compression together: after a block that does not shrink, the rest of
    // its run is written as it is. Without RestOfRunPlain a run is only the stretch a sample
    // reads, each block standing alone.
    int64_t RunBlocks = 4;
    bool RestOfRunPlain = true;
    int64_t SectorSize = 4096; // the unit of allocation
    // A file of at most one sector whose compressed data fits here lives in the metadata;
    // 0 where nothing does.
    int64_t MaxInline = 2048;

    int64_t RunSize() const { return BlockSize * RunBlocks; }
};

// NTFS with clusters of ClusterSize: compression units of 16 clusters, each compressed on its
// own and allocated in clusters; a sample reads stretches as long as btrfs's runs.
TCompressGeometry NtfsGeometry(int64_t clusterSize);

// How much of a large file an estimate reads: a file of up to WholeRuns runs is read whole;
// of a larger one the first and the last run (headers and tables, the tail) and, of the runs
// between, one in ShareDivisor (at least MinSampledRuns, at most MaxSampledRuns), spread
// evenly. The bound keeps a huge file from costing more than a few MiB of reading.
struct TSampling {
    int64_t WholeRuns = 2;
    int64_t ShareDivisor = 8;
    int64_t MinSampledRuns = 2;
    int64_t MaxSampledRuns = 8;
};

struct TBlockSpan {
    int64_t Offset = 0;
    int64_t Length = 0;
};

// The blocks an estimate reads, in file order.
struct TEstimatePlan {
    std::vector<TBlockSpan> Blocks;
    int64_t Runs = 0;
    // The runs between the first and the last that are read; they stand for all Runs - 2.
    int64_t SampledRuns = 0;
    bool Sampled() const { return Runs > 2 && SampledRuns < Runs - 2; }
};

TEstimatePlan PlanEstimate(int64_t fileSize, const TCompressGeometry& geometry,
                           const TSampling& sampling);

// One block as it was read: Compressed is its size as one compressed frame, or -1 when it
// could not be compressed (it is then stored as it is).
struct TBlockResult {
    int64_t Offset = 0;
    int64_t Length = 0;
    int64_t Compressed = -1;
};

// Whether a block is stored compressed: only when that saves at least one sector (a block
// compressed to nothing, all zeros on NTFS, takes none).
bool KeepsCompressed(int64_t length, int64_t compressed, const TCompressGeometry& geometry);

// The file's bytes on disk as its size measurement will count them: compressed extents in
// whole sectors, plain ones rounded up to the sector, inline data by its length; the sampled
// runs scaled up to all the runs they stand for. Results hold the blocks of Plan, in order.
int64_t EstimateOnDisk(int64_t fileSize, const TEstimatePlan& plan,
                       const std::vector<TBlockResult>& results, const TCompressGeometry& geometry);

} // namespace brimble
