// One found file from start to end: decided, acted on, checked for gain (a compression
// that saves nothing is undone) and counted in the totals of the current run.

#include "engine/FormatSize.h"
#include "engine/uMain.h"

#include <limits>
#include <string>

namespace brimble {

namespace {

using enum TCompressAction;

// What one file adds to the totals; 0 or -1 adds nothing.
struct TStatsIncrement {
    int64_t OnDiskCount = 1;
    int64_t OnDiskSize = 0;
    int64_t ToCompressCount = 0;
    int64_t ToCompressSize = 0;
    int64_t CompressedCount = -1;
    int64_t CompressedSize = -1;
};

struct TLabelText {
    StatLabel Label;
    std::string Text;
};

} // namespace

void TfrmBrimblemain::ProcessFoundFile(const void* /*Sender*/, const std::string& Path,
                                       const TFileAttrRec& FileAttrRec) {
    const std::string FullName = Path + FileAttrRec.Name;
    if (FProcessingDriveIdx != pdiIdle) ShowStatus(FullName);

    TStatsIncrement inc;
    inc.OnDiskSize = FileAttrRec.Size;
    const auto countIfRunning = [this, &inc] {
        if (FProcessingDriveIdx != pdiIdle)
            UpdateStats(inc.OnDiskCount, inc.OnDiskSize, inc.ToCompressCount, inc.ToCompressSize,
                        inc.CompressedCount, inc.CompressedSize);
    };
    // Building a trace line costs more than deciding a file: only when it is written.
    const bool trace = FLogFile->LogLevel() >= 2;

    try {
        const TCompressAction action = GetCompressAction(Path, FileAttrRec);
        if (IsCompressAction(action)) {
            inc.ToCompressCount = 1;
            inc.ToCompressSize = FileAttrRec.Size;
            if (trace)
                Log("File [" + LogName(FullName) + "] (" +
                        FormatSize(FPlatform.Locale(), fsAutomatic, -1, FileAttrRec.Size) +
                        ") action: COMPRESS",
                    2);
            // A failure counts the file as to be compressed, not as compressed.
            if (TryCompressFile(FullName, action)) {
                inc.CompressedSize = GetCompressedSize(FullName);
                inc.CompressedCount = 1;
                if (inc.CompressedSize >= FileAttrRec.Size) {
                    inc.ToCompressCount = inc.ToCompressSize = 0;
                    inc.CompressedCount = inc.CompressedSize = -1;
                    TryCompressFile(FullName, caDecompress); // no gain: undo
                }
            }
        } else {
            if (trace)
                Log("File [" + LogName(FullName) +
                        "] action: " + (action == caDecompress ? "DECOMPRESS" : "NONE"),
                    2);
            TryCompressFile(FullName, action);
        }
    } catch (...) {
        // The file was seen: it is counted before the error goes on to the caller.
        countIfRunning();
        throw;
    }
    countIfRunning();
}

void TfrmBrimblemain::UpdateStats(int64_t onDiskCount, int64_t onDiskSize, int64_t toCompressCount,
                                  int64_t toCompressSize, int64_t compressedCount,
                                  int64_t compressedSize) {
    if (FProcessingDriveIdx == pdiIdle) return;
    TStats& s = FStatsT;
    s.FilesOnDisk_Count += onDiskCount;
    if (onDiskSize > 0) s.FilesOnDisk_Size += onDiskSize;
    if (toCompressCount > 0) {
        s.FilesToBeCompressed_Count += toCompressCount;
        if (toCompressSize > 0) s.FilesToBeCompressed_Size += toCompressSize;
    }
    if (compressedCount > 0) {
        s.CompressedFiles_Count += compressedCount;
        s.CompressedFiles_OldSize += toCompressSize;
        s.CompressedFiles_Size += compressedSize;
        s.CompressedFiles_Percent = s.CompressedFiles_OldSize > 0
                                        ? 100.0 * static_cast<double>(s.CompressedFiles_Size) /
                                              static_cast<double>(s.CompressedFiles_OldSize)
                                        : 0.0;
        s.PreservedSpace_Size = s.CompressedFiles_OldSize - s.CompressedFiles_Size;
    }

    ILocale& locale = FPlatform.Locale();
    const TLabelText texts[] = {
        {StatLabel::FilesOnDiskT_Count, FormatSize(locale, fsNoUnit, -1, s.FilesOnDisk_Count)},
        {StatLabel::FilesOnDiskT_Size, FormatSize(locale, fsAutomatic, -1, s.FilesOnDisk_Size)},
        {StatLabel::FilesToBeCompressedT_Count,
         FormatSize(locale, fsNoUnit, -1, s.FilesToBeCompressed_Count)},
        {StatLabel::FilesToBeCompressedT_Size,
         FormatSize(locale, fsAutomatic, -1, s.FilesToBeCompressed_Size)},
        {StatLabel::CompressedFilesT_Count,
         FormatSize(locale, fsNoUnit, -1, s.CompressedFiles_Count)},
        {StatLabel::CompressedFilesT_Size,
         FormatSize(locale, fsAutomatic, -1, s.CompressedFiles_Size)},
        {StatLabel::CompressedFilesT_Percent, FormatPercent(locale, s.CompressedFiles_Percent)},
        {StatLabel::PreservedSpaceT_Size,
         FormatSize(locale, fsAutomatic, -1, s.PreservedSpace_Size)},
    };
    for (const auto& [label, text] : texts)
        FView.SetStatLabel(label, text);
}

int64_t TfrmBrimblemain::GetCompressedSize(const std::string& FileName) {
    return FPlatform.FileSystem().GetCompressedSize(FileName).value_or(
        std::numeric_limits<int64_t>::max());
}

void TfrmBrimblemain::ResetStats() {
    FView.SetStatusText("");
    FStatsT = TStats{};
    for (int i = 0; i < StatLabelCount; ++i)
        FView.SetStatLabel(static_cast<StatLabel>(i), "?");
}

void TfrmBrimblemain::ShowStatus(const std::string& Text) {
    FView.SetStatusText(Text);
    if (FProcessingDriveIdx != pdiDelayedRun) return;
    // A delayed run holds the UI thread: let one message through (the Stop button) and
    // repaint, so the window stays usable.
    FUiLoop.ProcessOneMessage();
    FView.Repaint();
}

} // namespace brimble
