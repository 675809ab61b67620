// The estimate of a file that a scan would compress: its planned blocks read and compressed
// here, its size on disk predicted by the file system's rules, counted as a real run counts
// what it measured.

#include "engine/FormatSize.h"
#include "engine/OnDiskEstimate.h"
#include "engine/uMain.h"

#include <string>
#include <vector>

namespace brimble {

namespace {

// The predicted bytes on disk of the file at Path, or the error that kept it from being read.
OsValue<int64_t> EstimateFileOnDisk(IFileSystem& fs, const std::string& path, int64_t size,
                                    int level, TBlockCompressor& compressor) {
    const TCompressGeometry geometry;
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
                           compressor.CompressedSize(bytes, level)});
    }
    return EstimateOnDisk(size, plan, results, geometry);
}

} // namespace

void TfrmBrimblemain::EstimateFoundFile(const std::string& FullName, int64_t Size,
                                        const OsValue<TDataLayout>& Layout, int64_t Before,
                                        TStatsIncrement& inc) {
    const std::optional<std::pair<uint64_t, uint64_t>> linked =
        Layout ? Layout->LinkedFile : std::nullopt;
    if (linked) {
        if (const auto found = FEstimatedLinkedFiles.find(*linked);
            found != FEstimatedLinkedFiles.end()) {
            // Compressed under an earlier name: counted as a file stored compressed already.
            inc.CompressedCount = 1;
            inc.CompressedSize = inc.CompressedOldSize = found->second;
            return;
        }
    }
    if (!FBlockCompressor) FBlockCompressor = std::make_unique<TBlockCompressor>();
    IFileSystem& fs = FPlatform.FileSystem();
    const OsValue<int64_t> after =
        EstimateFileOnDisk(fs, FullName, Size, CompressionLevelNow(), *FBlockCompressor);
    if (!after) {
        // As a real run counts a file it could not change: one it may never change is not
        // to be compressed at all, one it could not change now still is.
        const bool refused = fs.IsRefusal(after.code());
        Log("Cannot read file [" + LogName(FullName) +
                "] for the estimate: " + fs.SysErrorMessage(after.code()),
            refused ? llTrace : llNotice);
        if (refused) inc.ToCompressCount = inc.ToCompressSize = 0;
        return;
    }
    if (FLogFile->LogLevel() >= llTrace)
        Log("File [" + LogName(FullName) + "] estimate: " +
                FormatSize(FPlatform.Locale(), fsAutomatic, -1, *after) + " on disk",
            llTrace);
    if (*after >= Before) {
        inc.ToCompressCount = inc.ToCompressSize = 0; // a real run would undo it
        return;
    }
    inc.CompressedCount = 1;
    inc.CompressedSize = *after;
    inc.CompressedOldSize = Before;
    if (linked) FEstimatedLinkedFiles.emplace(*linked, *after);
}

} // namespace brimble
