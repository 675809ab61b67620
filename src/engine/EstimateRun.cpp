// The estimate of a file that a scan would compress: its planned blocks read and compressed
// on a few worker threads while the walk goes on, its size on disk predicted by the file
// system's rules, counted in the walk's order as a real run counts what it measured.

#include "engine/FormatSize.h"
#include "engine/OnDiskEstimate.h"
#include "engine/uMain.h"

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace brimble {

namespace {

// The predicted bytes on disk of the file at Path, or the error that kept it from being read.
// Without a compressor every block counts as one that could not be compressed.
OsValue<int64_t> EstimateFileOnDisk(IFileSystem& fs, const std::string& path, int64_t size,
                                    int level, const TCompressGeometry& geometry,
                                    IBlockCompressor* compressor) {
    const TEstimatePlan plan = PlanEstimate(size, geometry, TSampling{});
    OsValue<std::unique_ptr<IInputFile>> file = fs.OpenForRead(path);
    if (!file) return OsValue<int64_t>::Fail(file.code());
    std::vector<TBlockResult> results;
    results.reserve(plan.Blocks.size());
    std::string bytes;
    for (const TBlockSpan& span : plan.Blocks) {
        if (const OsResult read =
                (*file)->ReadAt(span.Offset, static_cast<std::size_t>(span.Length), bytes);
            !read)
            return OsValue<int64_t>::Fail(read.code());
        if (bytes.empty()) break; // the file shrank since it was listed
        results.push_back({span.Offset, static_cast<int64_t>(bytes.size()),
                           compressor ? compressor->CompressedSize(bytes, level) : -1});
    }
    return EstimateOnDisk(size, plan, results, geometry);
}

// Enough workers to keep every core compressing, and a few files each in flight so that
// one waiting for the disk does not leave a core idle.
std::size_t EstimateWorkers() {
    return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
}
constexpr std::size_t kFilesInFlightPerWorker = 4;
// Predicted files wait behind the files read before them; bounded when one read is slow.
constexpr std::size_t kMaxFilesWaiting = 4096;

} // namespace

void TfrmBrimblemain::EstimateFoundFile(const std::string& FullName, int64_t Size,
                                        const OsValue<TDataLayout>& Layout, int64_t Before,
                                        TStatsIncrement& inc) {
    const std::optional<std::pair<uint64_t, uint64_t>> linked =
        Layout ? Layout->LinkedFile : std::nullopt;
    // Another name of this file still in the pool decides what this one counts as.
    if (linked && EstimatePending(*linked)) CountEstimates(true);
    if (linked) {
        if (const auto found = FEstimatedLinkedFiles.find(*linked);
            found != FEstimatedLinkedFiles.end()) {
            // Compressed under an earlier name: counted as a file stored compressed already.
            inc.CompressedCount = 1;
            inc.CompressedSize = inc.CompressedOldSize = found->second;
            return;
        }
    }
    IFileSystem& fs = FPlatform.FileSystem();
    // Left to be compressed, as a file a real run could not change now.
    if (!FEstimateModel && !ChooseEstimateModelOf(fs.DriveOfPath(FullName))) return;
    // Counted with its estimate, once the pool has it.
    inc.ToCompressCount = inc.ToCompressSize = 0;
    if (!FEstimatePool)
        FEstimatePool =
            std::make_unique<TOrderedPool<OsValue<int64_t>, TEstimateWorker>>(EstimateWorkers());
    if (!FEstimateSampler) StartEstimateSampling();
    FPendingEstimates.push_back({FullName, Size, Before, linked});
    if (!FEstimateSampler->Reads(FullName, Size)) {
        FPendingEstimates.back().Predicted = true; // counted in its turn, nothing read
        CountEstimates(false);
        return;
    }
    const int level = CompressionLevelNow();
    FEstimatePool->Submit(
        [&fs, FullName, Size, level, model = FEstimateModel](TEstimateWorker& worker) {
            return EstimateFileOnDisk(fs, FullName, Size, level, model->Geometry,
                                      worker.CompressorFor(model));
        });
    CountEstimates(false);
}

void TfrmBrimblemain::StartEstimateSampling() {
    // In the sectors or clusters of the volume the run starts on.
    FEstimateSampler = std::make_unique<TEstimateSampler>(
        FPlatform.FileSystem().PathDelimiter(), TFileSampling{}, FEstimateModel->Geometry);
    SetEstimatePriority(FOptions->Priority);
}

void TfrmBrimblemain::ForgetEstimates() {
    if (!FPendingEstimates.empty()) return; // still being counted
    FEstimateSampler.reset();
    FEstimatedLinkedFiles.clear();
}

void TfrmBrimblemain::SetEstimatePriority(PriorityLevel Value) {
    if (!FEstimatePool) return;
    FEstimatePool->SetWorkerSetting(
        [&process = FPlatform.Process(), Value] { process.SetCurrentThreadPriority(Value); });
}

bool TfrmBrimblemain::EstimatePending(const std::pair<uint64_t, uint64_t>& linked) const {
    return std::any_of(FPendingEstimates.begin(), FPendingEstimates.end(),
                       [&](const TPendingEstimate& file) { return file.Linked == linked; });
}

void TfrmBrimblemain::CountEstimates(bool all) {
    if (!FEstimatePool) return;
    const std::size_t window = FEstimatePool->Workers() * kFilesInFlightPerWorker;
    while (!FPendingEstimates.empty()) {
        if (FPendingEstimates.front().Predicted) {
            const TPendingEstimate file = std::move(FPendingEstimates.front());
            FPendingEstimates.pop_front();
            CountEstimate(file, FEstimateSampler->Predict(file.FullName, file.Size, file.Before));
            continue;
        }
        const bool wait =
            all || FEstimatePool->Pending() > window || FPendingEstimates.size() > kMaxFilesWaiting;
        std::optional<OsValue<int64_t>> after;
        try {
            after = FEstimatePool->Next(wait);
        } catch (...) {
            FPendingEstimates.pop_front(); // the pool gave that file's error
            throw;
        }
        if (!after) {
            if (wait) FPendingEstimates.clear(); // the pool has stopped: nothing more comes
            return;
        }
        const TPendingEstimate file = std::move(FPendingEstimates.front());
        FPendingEstimates.pop_front();
        CountEstimate(file, *after);
    }
}

void TfrmBrimblemain::CountEstimate(const TPendingEstimate& file, const OsValue<int64_t>& after) {
    TStatsIncrement inc;
    inc.OnDiskCount = 0; // counted when the file was found
    inc.ToCompressCount = 1;
    inc.ToCompressSize = file.Size;
    IFileSystem& fs = FPlatform.FileSystem();
    if (!after) {
        // As a real run counts a file it could not change: one it may never change is not
        // to be compressed at all, one it could not change now still is.
        const bool refused = fs.IsRefusal(after.code());
        Log("Cannot read file [" + LogName(file.FullName) +
                "] for the estimate: " + fs.SysErrorMessage(after.code()),
            refused ? llTrace : llNotice);
        if (refused) inc.ToCompressCount = inc.ToCompressSize = 0;
        AddToStats(inc);
        return;
    }
    if (FLogFile->LogLevel() >= llTrace)
        Log("File [" + LogName(file.FullName) +
                "] estimate: " + FormatSize(FPlatform.Locale(), fsAutomatic, -1, *after) +
                " on disk" + (file.Predicted ? ", predicted from its group" : ""),
            llTrace);
    if (!file.Predicted) FEstimateSampler->Measured(file.FullName, file.Size, file.Before, *after);
    if (*after >= file.Before) {
        inc.ToCompressCount = inc.ToCompressSize = 0; // a real run would undo it
    } else {
        inc.CompressedCount = 1;
        inc.CompressedSize = *after;
        inc.CompressedOldSize = file.Before;
        if (file.Linked) FEstimatedLinkedFiles.emplace(*file.Linked, *after);
    }
    AddToStats(inc);
}

} // namespace brimble
