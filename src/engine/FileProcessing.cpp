// One found file from start to end: decided, acted on, checked for gain (a compression
// that saves nothing is undone) and counted in the totals of the current run.

#include "engine/FormatSize.h"
#include "engine/uMain.h"

#include <limits>
#include <string>
#include <utility>

namespace brimble {

namespace {

using enum TCompressAction;

} // namespace

void TfrmBrimblemain::ProcessFoundFile(const void* /*Sender*/, const std::string& Path,
                                       const TFileAttrRec& FileAttrRec) {
    const std::string FullName = Path + FileAttrRec.Name;
    if (FProcessingDriveIdx != pdiIdle) ShowStatus(FullName);
    // Only the walk's files of an estimate run are predicted: the background's, even while
    // an estimate runs, are compressed for real.
    const TFlagScope estimating(
        FEstimatingFile, FEstimateOnly || (FRunEstimate && ScanRunning() && !FBackgroundTarget));

    TStatsIncrement inc;
    inc.OnDiskSize = FileAttrRec.Size;
    try {
        const TCompressAction action = GetCompressAction(Path, FileAttrRec);
        if (IsCompressAction(action))
            CompressFoundFile(FullName, FileAttrRec.Size, action, inc);
        else
            LeaveOrDecompressFoundFile(FullName, action);
    } catch (...) {
        // The file was seen: it is counted before the error goes on to the caller.
        AddToStats(inc);
        throw;
    }
    AddToStats(inc);
}

void TfrmBrimblemain::CompressFoundFile(const std::string& FullName, int64_t Size,
                                        TCompressAction Action, TStatsIncrement& inc) {
    // Building a trace line costs more than deciding a file: only when it is written.
    const bool trace = FLogFile->LogLevel() >= 2;
    const OsValue<TDataLayout> layout = FPlatform.FileSystem().ExamineData(FullName);
    if (layout && layout->Shared && !FOptions->CompressSharedFiles) {
        // Rewriting shared data gives the file a copy of its own: the volume loses space.
        if (trace)
            Log("File [" + LogName(FullName) +
                    "] shares its data with another file or a snapshot: left as it is",
                llTrace);
        TryCompressFile(FullName, caNone);
        return;
    }
    inc.ToCompressCount = 1;
    inc.ToCompressSize = Size;
    if (layout && layout->Encoded) {
        // The volume compressed it as it was written: a rewrite would only cost time.
        if (trace)
            Log("File [" + LogName(FullName) + "] (" +
                    FormatSize(FPlatform.Locale(), fsAutomatic, -1, layout->OnDiskSize) +
                    ") is stored compressed already",
                llTrace);
        inc.CompressedCount = 1;
        inc.CompressedSize = inc.CompressedOldSize = layout->OnDiskSize;
        TryCompressFile(FullName, caNone);
        return;
    }
    if (trace)
        Log("File [" + LogName(FullName) + "] (" +
                FormatSize(FPlatform.Locale(), fsAutomatic, -1, Size) + ") action: COMPRESS",
            llTrace);
    // What the file took before, so that the totals say what was really reclaimed.
    const int64_t before = layout ? layout->OnDiskSize : Size;
    if (FEstimatingFile) {
        EstimateFoundFile(FullName, Size, layout, before, inc);
        return;
    }
    switch (CarryOut(FullName, Action)) {
    case TCompressOutcome::coFailed:
        return; // counts as to be compressed, not as compressed
    case TCompressOutcome::coRefused:
        inc.ToCompressCount = inc.ToCompressSize = 0; // nothing to be done about it
        return;
    case TCompressOutcome::coDone:
        break;
    }
    const int64_t after = GetCompressedSize(FullName);
    if (after >= before) {
        inc.ToCompressCount = inc.ToCompressSize = 0;
        TryCompressFile(FullName, caDecompress); // no gain: undo
        return;
    }
    inc.CompressedCount = 1;
    inc.CompressedSize = after;
    inc.CompressedOldSize = before;
}

void TfrmBrimblemain::LeaveOrDecompressFoundFile(const std::string& FullName,
                                                 TCompressAction Action) {
    const bool trace = FLogFile->LogLevel() >= 2;
    if (Action == caDecompress && !FOptions->CompressSharedFiles) {
        const OsValue<TDataLayout> layout = FPlatform.FileSystem().ExamineData(FullName);
        if (layout && layout->Shared) {
            if (trace)
                Log("File [" + LogName(FullName) +
                        "] shares its data with another file or a snapshot: not decompressed",
                    llTrace);
            TryCompressFile(FullName, caNone);
            return;
        }
    }
    if (trace)
        Log("File [" + LogName(FullName) +
                "] action: " + (Action == caDecompress ? "DECOMPRESS" : "NONE"),
            llTrace);
    TryCompressFile(FullName, Action);
}

void TfrmBrimblemain::UpdateStats(int64_t onDiskCount, int64_t onDiskSize, int64_t toCompressCount,
                                  int64_t toCompressSize, int64_t compressedCount,
                                  int64_t compressedSize) {
    TStatsIncrement inc;
    inc.OnDiskCount = onDiskCount;
    inc.OnDiskSize = onDiskSize;
    inc.ToCompressCount = toCompressCount;
    inc.ToCompressSize = toCompressSize;
    inc.CompressedCount = compressedCount;
    inc.CompressedSize = compressedSize;
    inc.CompressedOldSize = toCompressSize;
    AddToStats(inc);
}

void TfrmBrimblemain::AddToStats(const TStatsIncrement& inc) {
    if (FBackgroundTarget && inc.CompressedCount > 0 &&
        inc.CompressedOldSize > inc.CompressedSize) {
        ++FBackgroundTarget->Files;
        FBackgroundTarget->Saved += inc.CompressedOldSize - inc.CompressedSize;
    }
    if (FProcessingDriveIdx == pdiIdle) return;
    // An estimate's totals hold predictions only, not what the background really did.
    if (FRunEstimate && FBackgroundTarget) return;
    TStats& s = FStatsT;
    s.FilesOnDisk_Count += inc.OnDiskCount;
    if (inc.OnDiskSize > 0) s.FilesOnDisk_Size += inc.OnDiskSize;
    if (inc.ToCompressCount > 0) {
        s.FilesToBeCompressed_Count += inc.ToCompressCount;
        if (inc.ToCompressSize > 0) s.FilesToBeCompressed_Size += inc.ToCompressSize;
    }
    if (inc.CompressedCount > 0) {
        s.CompressedFiles_Count += inc.CompressedCount;
        if (inc.CompressedOldSize > 0) s.CompressedFiles_OldSize += inc.CompressedOldSize;
        if (inc.CompressedSize > 0) s.CompressedFiles_Size += inc.CompressedSize;
        s.CompressedFiles_Percent = s.CompressedFiles_OldSize > 0
                                        ? 100.0 * static_cast<double>(s.CompressedFiles_Size) /
                                              static_cast<double>(s.CompressedFiles_OldSize)
                                        : 0.0;
        s.PreservedSpace_Size = s.CompressedFiles_OldSize - s.CompressedFiles_Size;
    }

    ShowStats(s);
}

void TfrmBrimblemain::ShowStats(const TStats& s) {
    // Formatting every label for each file costs more than deciding it: a label is set
    // again only when its figure or the locale's separators changed since it was shown.
    ILocale& locale = FPlatform.Locale();
    TShownStats now{s, locale.ThousandSeparator(), locale.DecimalSeparator()};
    const std::optional<TShownStats>& shown = FStatsShown;
    const bool all = !shown || shown->Thousand != now.Thousand || shown->Decimal != now.Decimal;
    const auto changed = [&](auto TStats::*field) {
        return all || shown->Stats.*field != s.*field;
    };
    const auto size = [&](StatLabel label, int64_t TStats::*field, int format) {
        if (changed(field)) FView.SetStatLabel(label, FormatSize(locale, format, -1, s.*field));
    };
    size(StatLabel::FilesOnDiskT_Count, &TStats::FilesOnDisk_Count, fsNoUnit);
    size(StatLabel::FilesOnDiskT_Size, &TStats::FilesOnDisk_Size, fsAutomatic);
    size(StatLabel::FilesToBeCompressedT_Count, &TStats::FilesToBeCompressed_Count, fsNoUnit);
    size(StatLabel::FilesToBeCompressedT_Size, &TStats::FilesToBeCompressed_Size, fsAutomatic);
    size(StatLabel::CompressedFilesT_Count, &TStats::CompressedFiles_Count, fsNoUnit);
    size(StatLabel::CompressedFilesT_Size, &TStats::CompressedFiles_Size, fsAutomatic);
    if (changed(&TStats::CompressedFiles_Percent))
        FView.SetStatLabel(StatLabel::CompressedFilesT_Percent,
                           FormatPercent(locale, s.CompressedFiles_Percent));
    size(StatLabel::PreservedSpaceT_Size, &TStats::PreservedSpace_Size, fsAutomatic);
    FStatsShown = std::move(now);
}

int64_t TfrmBrimblemain::GetCompressedSize(const std::string& FileName) {
    return FPlatform.FileSystem().GetCompressedSize(FileName).value_or(
        std::numeric_limits<int64_t>::max());
}

void TfrmBrimblemain::ResetStats() {
    FView.SetStatusText("");
    FStatsT = TStats{};
    FStatsShown.reset();
    FRefusedFolders.clear(); // each run says once per folder what it may not change
    FRunFailures = TRunFailures{};
    ForgetEstimates();
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
