// Files that change while the program runs: a watcher's report is ignored, queued on the
// delayed or lag list, or compressed at once, by the smart-compress mode.

#include "engine/VolumeQueries.h"
#include "engine/uMain.h"

#include <mutex>
#include <string>

namespace brimble {

using enum TCompressAction;

void TfrmBrimblemain::FileChanged(const void* /*Sender*/, const std::string& FileName) {
    if (FShuttingDown) return; // the lists are saved and gone
    // Writing the log would report the log again, without end.
    if (FLogFile->IsLogFile(FileName)) return;
    // A file marked as it was created reads as compressed, yet still has to be settled.
    if (!FNewFileMarks.Contains(FileName) && GetCompressAction(FileName) == caNone) return;
    Log("[FileChanged]: " + LogName(FileName), llTrace);

    switch (FOptions->SmartCompressMode) {
    case TSmartCompressMode::scmOnIdle:
        AddToCompressList(*FDelayedCompressList, FileName, true);
        break;
    case TSmartCompressMode::scmInteractive:
        if (FOptions->CompressionDelay <= 0)
            SmartCompress(FileName);
        else
            AddToCompressList(*FLagCompressList, FileName, false); // keeps a first stamp
        break;
    case TSmartCompressMode::scmDisabled:
        break;
    }
}

void TfrmBrimblemain::SmartCompress(const std::string& FileName) {
    const std::lock_guard lock(FCriticalSection);
    IFileSystem& fs = FPlatform.FileSystem();

    std::size_t listed = TCompressList::npos;
    try {
        listed = FDelayedCompressList->IndexOfName(FileName);
    } catch (const std::exception&) {
        Log("[SmartCompress]: Wrong index of \"" + LogName(FileName) + "\"", llNotice);
    }

    const std::optional<TFileAttrRec> entry = fs.FindEntry(FileName);
    if (entry && (entry->Attr & fa::Directory) == 0) {
        Log("[SmartCompress]: " + LogName(FileName), llTrace);
        const std::string drive = fs.DriveOfPath(FileName);
        FProcessingDiskClusterSize =
            static_cast<int32_t>(GetClusterSize(FPlatform.Volumes(), drive));
        const auto delimiter = FileName.rfind(fs.PathDelimiter());
        const std::string dir =
            delimiter == std::string::npos ? std::string() : FileName.substr(0, delimiter + 1);
        // What the background mode does on this volume, for the waiting-files view.
        const TBackgroundScope background(FBackgroundTarget, FBackgroundTotals[drive]);
        if (const std::optional<TNewFileMark> mark = FNewFileMarks.Take(FileName))
            SettleNewFile(dir, *entry, *mark);
        else
            ProcessFoundFile(nullptr, dir, *entry);
    } else if (listed != TCompressList::npos) {
        FDelayedCompressList->Delete(listed);
    }
}

} // namespace brimble
