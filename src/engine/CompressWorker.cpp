// One decided action carried out on one file: the file operation runs on a short-lived
// worker thread while the caller waits, then the result is logged and the delayed list
// is brought up to date.

#include "engine/uMain.h"

#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

namespace brimble {

namespace {

using enum TCompressAction;

// Critical-error boxes, fault dialogs, alignment faults and open-file boxes are all off
// while a file is touched: a bad medium must fail the call, not wait for the user.
constexpr uint32_t kQuietErrorMode = 0x8007;

// Clears a file's read-only bit for the life of the object and writes the attribute word
// back afterwards, so the file ends read-only again whatever happened in between.
class TReadOnlyCleared {
public:
    TReadOnlyCleared(IFileSystem& fs, const std::string& fileName) : FFs(fs), FFileName(fileName) {
        const auto attr = FFs.GetAttributes(FFileName);
        if (!attr || !(*attr & fa::ReadOnly)) return;
        if (FFs.SetAttributes(FFileName, *attr & ~fa::ReadOnly)) FSaved = *attr;
    }
    ~TReadOnlyCleared() {
        if (!FSaved) return;
        try {
            FFs.SetAttributes(FFileName, *FSaved);
        } catch (...) {
            // Nothing more can be done for the attribute on this path.
        }
    }
    TReadOnlyCleared(const TReadOnlyCleared&) = delete;
    TReadOnlyCleared& operator=(const TReadOnlyCleared&) = delete;

private:
    IFileSystem& FFs;
    const std::string& FFileName;
    std::optional<uint32_t> FSaved;
};

// The process error mode, set for the life of the object and then restored.
class TErrorModeScope {
public:
    TErrorModeScope(IProcess& process, uint32_t mode)
        : FProcess(process), FSaved(process.SetErrorMode(mode)) {}
    ~TErrorModeScope() {
        try {
            FProcess.SetErrorMode(FSaved);
        } catch (...) {
            // A destructor must not throw; the mode stays as it is.
        }
    }
    TErrorModeScope(const TErrorModeScope&) = delete;
    TErrorModeScope& operator=(const TErrorModeScope&) = delete;

private:
    IProcess& FProcess;
    uint32_t FSaved;
};

// The tray icon shows the busy image (1) for the life of the object, then the idle one (0).
class TTrayBusyScope {
public:
    explicit TTrayBusyScope(IMainView& view) : FView(view) { FView.SetTrayIconImage(1); }
    ~TTrayBusyScope() {
        try {
            FView.SetTrayIconImage(0);
        } catch (...) {
            // A destructor must not throw; the icon stays as it is.
        }
    }
    TTrayBusyScope(const TTrayBusyScope&) = delete;
    TTrayBusyScope& operator=(const TTrayBusyScope&) = delete;

private:
    IMainView& FView;
};

void RunAction(IFileSystem& fs, TFileCompressRec& rec) {
    bool compress = true;
    if (rec.Action == caCompressDecrypted) {
        if (const OsResult decrypted = fs.Decrypt(rec.FileName); !decrypted) {
            rec.ResultSuccess = false;
            rec.ErrorCode = decrypted.code();
            return; // an encrypted file cannot be compressed
        }
    } else if (rec.Action == caDecompress) {
        compress = false;
    }
    rec.ResultSuccess =
        SetFileCompression(fs, rec.FileName, compress, &rec.ErrorCode, compress ? rec.Level : 0);
}

// Starts the worker on Rec and waits until it has ended.
void RunWorker(IFileSystem& fs, TFileCompressRec& rec) {
    try {
        // Joined when it goes out of scope, on every path.
        std::jthread worker([&fs, &rec] { CompressThreadProc(fs, rec); });
    } catch (const std::system_error& e) {
        rec.ResultSuccess = false;
        rec.ErrorText = std::string("the worker thread could not be started: ") + e.what();
    }
}

} // namespace

bool SetFileCompression(IFileSystem& fs, const std::string& FileName, bool Compress, int* ErrorCode,
                        int Level) {
    const OsResult result = fs.SetCompression(FileName, Compress, Level);
    if (!result && ErrorCode) *ErrorCode = result.code();
    return result.ok();
}

void CompressThreadProc(IFileSystem& fs, TFileCompressRec& Rec) noexcept {
    Rec.ResultSuccess = true;
    if (Rec.Action == caNone) return; // nothing may touch a file that is to be left alone
    try {
        const TReadOnlyCleared readOnly(fs, Rec.FileName);
        RunAction(fs, Rec);
    } catch (const std::exception& e) {
        Rec.ResultSuccess = false;
        Rec.ErrorText = e.what();
    } catch (...) {
        Rec.ResultSuccess = false;
        Rec.ErrorText = "unexpected error";
    }
}

bool TfrmBrimblemain::TryCompressFile(const std::string& FileName, TCompressAction Action) {
    return CarryOut(FileName, Action) == TCompressOutcome::coDone;
}

TCompressOutcome TfrmBrimblemain::CarryOut(const std::string& FileName, TCompressAction Action) {
    // The one way to a file or the delayed list: an estimate passes neither.
    if (FEstimatingFile) return TCompressOutcome::coDone;
    if (Action == caNone) {
        if (FLogFile->LogLevel() >= llTrace) // most files of a walk come here
            Log("Action: NONE. Try Remove From Delayed List", llTrace);
        TryRemoveFromDelayedList(FileName);
        return TCompressOutcome::coDone;
    }

    const TErrorModeScope errorMode(FPlatform.Process(), kQuietErrorMode);
    TFileCompressRec rec;
    rec.FileName = FileName;
    rec.Action = Action;
    rec.Level = CompressionLevelNow();
    {
        const TTrayBusyScope busy(FView);
        RunWorker(FPlatform.FileSystem(), rec);
    }

    const std::lock_guard lock(FCriticalSection);
    if (rec.ResultSuccess) {
        FLastFailures.erase(FileName);
        TryRemoveFromDelayedList(FileName);
        return TCompressOutcome::coDone;
    }
    IFileSystem& fs = FPlatform.FileSystem();
    const std::string reason =
        !rec.ErrorText.empty() ? rec.ErrorText : fs.SysErrorMessage(rec.ErrorCode);
    if (rec.ErrorText.empty() && fs.IsRefusal(rec.ErrorCode)) {
        // No later try can change a file the user may not change: it is no locked file,
        // and on the delayed list it would only age into the never list.
        ReportRefusal(FileName, reason);
        TryRemoveFromDelayedList(FileName);
        return TCompressOutcome::coRefused;
    }
    Log("Error during compress/decompress file \"" + LogName(FileName) + "\": " + reason, llNotice);
    if (IsCompressAction(Action)) {
        // Retried later; an entry that is there already keeps its first day.
        if (FDelayedCompressList) AddToCompressList(*FDelayedCompressList, FileName, true);
        Log("Added to Delayed Compress List", llNotice);
        ++FRunFailures.Count;
        FRunFailures.LastReason = reason;
        if (FLastFailures.size() >= kMaxFailuresKept) FLastFailures.clear();
        FLastFailures[FileName] = reason;
    }
    return TCompressOutcome::coFailed;
}

std::string TfrmBrimblemain::LastFailure(const std::string& FileName) const {
    const auto found = FLastFailures.find(FileName);
    return found == FLastFailures.end() ? std::string() : found->second;
}

int TfrmBrimblemain::CompressionLevelNow() const {
    const bool manualScan = FProcessingDriveIdx != pdiIdle && FProcessingDriveIdx != pdiDelayedRun;
    return manualScan || FOptions->SmartCompressionLevel ? FOptions->CompressionLevel : 0;
}

void TfrmBrimblemain::ReportRefusal(const std::string& FileName, const std::string& Reason) {
    if (FLogFile->LogLevel() >= 2)
        Log("File [" + LogName(FileName) + "] cannot be changed: " + Reason, llTrace);
    IFileSystem& fs = FPlatform.FileSystem();
    const auto delimiter = FileName.rfind(fs.PathDelimiter());
    const std::string folder =
        delimiter == std::string::npos ? std::string() : FileName.substr(0, delimiter + 1);
    // A background run has no end to clear the set at: it starts afresh when large.
    if (FRefusedFolders.size() >= kMaxRefusedFolders) FRefusedFolders.clear();
    if (!FRefusedFolders.insert(folder).second) return;
    Log("Files in \"" + LogName(folder) + "\" cannot be changed (" + Reason +
            "): they are left as they are",
        llNotice);
}

} // namespace brimble
