// Files created while the interactive mode runs: marked for compression at once, so that
// their data is compressed on its way to the disk instead of rewritten afterwards, and
// settled when the finished file is reported.

#include "engine/FormatSize.h"
#include "engine/uMain.h"

#include <string>

namespace brimble {

using enum TCompressAction;

namespace {

std::string FolderOf(const std::string& FileName, char Delimiter) {
    const auto delimiter = FileName.rfind(Delimiter);
    return delimiter == std::string::npos ? std::string() : FileName.substr(0, delimiter + 1);
}

// Takes this program's mark back without touching the data: what was written meanwhile
// costs no more compressed than it would plain. The system's reason when it failed.
std::string UnmarkFailure(IFileSystem& fs, const std::string& name) {
    const OsResult undone = fs.UnmarkForCompression(name);
    return undone ? std::string() : fs.SysErrorMessage(undone.code());
}

int64_t WholeClusters(int64_t Size, int64_t Cluster) {
    if (Cluster <= 0) return Size;
    return (Size + Cluster - 1) / Cluster * Cluster;
}

} // namespace

void TfrmBrimblemain::FileCreated(const void* /*Sender*/, const std::string& FileName) {
    if (FShuttingDown) return;
    // The on-idle mode promises no work while the user is active.
    if (!FOptions->CompressNewFiles ||
        FOptions->SmartCompressMode != TSmartCompressMode::scmInteractive)
        return;
    if (FLogFile->IsLogFile(FileName)) return;
    IFileSystem& fs = FPlatform.FileSystem();
    const std::optional<TFileAttrRec> entry = fs.FindEntry(FileName);
    if (!entry) return;
    const std::string dir = FolderOf(FileName, fs.PathDelimiter());
    // Created compressed in a folder this program marked: the mark is its own.
    const bool inherited =
        (entry->Attr & fa::Compressed) && FNewFileMarks.HasFolder(dir.substr(0, dir.size() - 1));
    if (entry->Attr & fa::Directory) {
        if (FOptions->CompressNewFolders) MarkNewFolder(FileName, inherited);
        return;
    }
    TFileAttrRec unmarked = *entry;
    if (inherited) unmarked.Attr &= ~fa::Compressed;
    // The size rules wait for the finished file.
    if (DecideAction(dir, unmarked, false) != caCompress) {
        if (inherited) {
            Log("[FileCreated]: " + LogName(FileName) +
                    " is not to be compressed: the mark of its folder is undone",
                llTrace);
            UnmarkNewFile(FileName);
        }
        return;
    }
    if (FNewFileMarks.Full()) {
        FNewFileMarks.DropGone([&fs](const std::string& name) {
            return fs.FileExists(name) || fs.DirectoryExists(name);
        });
        if (FNewFileMarks.Full()) return; // the finished report compresses it as ever
    }
    if (inherited) {
        FNewFileMarks.Add(FileName, TNewFileMark{}); // marked from its creation on
        Log("[FileCreated]: " + LogName(FileName) + " marked for compression by its folder",
            llTrace);
        return;
    }
    const OsValue<TNewFileMark> mark = fs.MarkForCompression(FileName);
    if (!mark) {
        // A file this program may not change, or a volume that cannot: the finished report
        // handles it as any other.
        Log("[FileCreated]: " + LogName(FileName) +
                " not marked for compression: " + fs.SysErrorMessage(mark.code()),
            llTrace);
        return;
    }
    FNewFileMarks.Add(FileName, *mark);
    Log("[FileCreated]: " + LogName(FileName) + " marked for compression" +
            (mark->DataStoredBefore ? "; some of its data was stored before" : ""),
        llTrace);
}

void TfrmBrimblemain::MarkNewFolder(const std::string& FolderName, bool Inherited) {
    IFileSystem& fs = FPlatform.FileSystem();
    if (IsFolderExcluded(FolderName + fs.PathDelimiter())) {
        // What is created in an excluded folder is never compressed in the background.
        if (Inherited) {
            Log("[FileCreated]: " + LogName(FolderName) +
                    " is excluded: the mark of its folder is undone",
                llTrace);
            UnmarkNewFile(FolderName);
        }
        return;
    }
    if (Inherited) {
        FNewFileMarks.AddFolder(FolderName);
        return;
    }
    if (FNewFileMarks.FoldersFull()) return; // its files are marked one by one
    const OsValue<TNewFileMark> mark = fs.MarkForCompression(FolderName);
    if (!mark) {
        Log("[FileCreated]: " + LogName(FolderName) +
                " not marked for compression: " + fs.SysErrorMessage(mark.code()),
            llTrace);
        return;
    }
    FNewFileMarks.AddFolder(FolderName);
    Log("[FileCreated]: folder " + LogName(FolderName) + " marked for compression", llTrace);
}

void TfrmBrimblemain::SettleNewFile(const std::string& Dir, const TFileAttrRec& Entry,
                                    TNewFileMark Mark) {
    const std::string FullName = Dir + Entry.Name;
    if (FProcessingDriveIdx != pdiIdle) ShowStatus(FullName);
    TStatsIncrement inc;
    inc.OnDiskSize = Entry.Size;
    // The mark is this program's own, so it does not count as the user's compression.
    TFileAttrRec unmarked = Entry;
    unmarked.Attr &= ~fa::Compressed;
    if (DecideAction(Dir, unmarked, true) != caCompress) {
        Log("File [" + LogName(FullName) +
                "] is not to be compressed: its mark from the creation is undone",
            llTrace);
        UnmarkNewFile(FullName);
        AddToStats(inc);
        return;
    }
    inc.ToCompressCount = 1;
    inc.ToCompressSize = Entry.Size;
    const int64_t before = WholeClusters(Entry.Size, FProcessingDiskClusterSize);
    if (Mark.DataStoredBefore) {
        // Its first data reached the disk before the mark: the usual rewrite compresses it.
        Log("File [" + LogName(FullName) + "] (" +
                FormatSize(FPlatform.Locale(), fsAutomatic, -1, Entry.Size) + ") action: COMPRESS",
            llTrace);
        const TCompressOutcome outcome = CarryOut(FullName, caCompress);
        // A failed rewrite is retried from the delayed list, which settles the mark again.
        if (outcome == TCompressOutcome::coFailed) FNewFileMarks.Add(FullName, Mark);
        if (outcome != TCompressOutcome::coDone) {
            if (outcome == TCompressOutcome::coRefused)
                inc.ToCompressCount = inc.ToCompressSize = 0;
            AddToStats(inc);
            return;
        }
    } else {
        TryCompressFile(FullName, caNone); // a delayed entry, if any, is done with
    }
    const int64_t after = GetCompressedSize(FullName);
    if (after >= before) {
        inc.ToCompressCount = inc.ToCompressSize = 0;
        // No gain: a rewrite of this program's is undone as ever, a mark only taken back.
        if (Mark.DataStoredBefore)
            TryCompressFile(FullName, caDecompress);
        else
            UnmarkNewFile(FullName);
        AddToStats(inc);
        return;
    }
    if (!Mark.DataStoredBefore)
        Log("File [" + LogName(FullName) + "] (" +
                FormatSize(FPlatform.Locale(), fsAutomatic, -1, after) +
                ") was compressed as it was written",
            llTrace);
    inc.CompressedCount = 1;
    inc.CompressedSize = after;
    inc.CompressedOldSize = before;
    AddToStats(inc);
}

void TfrmBrimblemain::UnmarkNewFile(const std::string& FileName) {
    if (const std::string why = UnmarkFailure(FPlatform.FileSystem(), FileName); !why.empty())
        Log("[FileCreated]: " + LogName(FileName) + " keeps its mark: " + why, llTrace);
}

} // namespace brimble
