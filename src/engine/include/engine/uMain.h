#pragma once

// The engine state of the main window and its operations. The window itself is the
// shell's; the engine reaches it only through IMainView, so this object exists and
// works without any window (tests, the headless scan command).

#include "engine/EstimateModel.h"
#include "engine/EstimateSampler.h"
#include "engine/IMainView.h"
#include "engine/TCompressAction.h"
#include "engine/TCompressList.h"
#include "engine/TNewFileMarks.h"
#include "engine/TScanSnapshot.h"
#include "options/LanguageFile.h"
#include "options/ProgramFolders.h"
#include "options/uOptions.h"
#include "platform/Platform.h"
#include "threads/TMonitorFileChanged.h"
#include "threads/TOrderedPool.h"
#include "threads/TScanPathThread.h"
#include "threads/UiLoop.h"
#include "threads/uCommonFunctions.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace brimble {

// Run states of FProcessingDriveIdx besides a drive index (0 or more).
inline constexpr int32_t pdiIdle = -1;
inline constexpr int32_t pdiDelayedRun = -13;
inline constexpr int32_t pdiFolderScan = -15;

// The three persistent lists, as the operations on one list name them.
enum class TListKind {
    lkLag,     // files changed lately, compressed once their delay has passed
    lkDelayed, // files to retry, such as locked ones
    lkNever,   // bare names that are never compressed
};

// What Go did; the window shows the message that belongs to a refusal.
enum class TScanStart {
    ssStarted,
    ssIncorrectPath,  // the typed folder is no absolute path of the platform
    ssWrongDrive,     // its drive cannot take compressed files ("Wrong drive!")
    ssScanInProgress, // a delayed run or another scan is going on
};

// An entry of the option ExcludeFolders and the folder it names once expanded.
struct TExcludedFolder {
    std::string Entry;  // as the settings hold it, such as "%tmp%="
    std::string Folder; // expanded and normalised, ending in the delimiter
};

// One qualifying drive: its root and, while a run goes on, the tick of its item
// (1 ticked, 0 not).
struct TDriveEntry {
    std::string Root;
    int Tick = 0;
};

// The totals of one run.
struct TStats {
    int64_t FilesOnDisk_Count = 0;
    int64_t FilesOnDisk_Size = 0;
    int64_t FilesToBeCompressed_Count = 0;
    int64_t FilesToBeCompressed_Size = 0;
    int64_t CompressedFiles_Count = 0;
    int64_t CompressedFiles_OldSize = 0;
    int64_t CompressedFiles_Size = 0;
    int64_t PreservedSpace_Size = 0;
    double CompressedFiles_Percent = 0.0;
};

// What one handled file adds to the totals; a count or size of 0 or -1 adds nothing.
struct TStatsIncrement {
    int64_t OnDiskCount = 1;
    int64_t OnDiskSize = 0;
    int64_t ToCompressCount = 0;
    int64_t ToCompressSize = 0;
    int64_t CompressedCount = -1;
    int64_t CompressedSize = -1;
    // What the compressed file took on disk before: the base of the space reclaimed.
    int64_t CompressedOldSize = -1;
};

// What became of one requested action.
enum class TCompressOutcome {
    coDone,
    coFailed,  // may work later (a locked file, a full disk): retried from the delayed list
    coRefused, // the file may not be changed at all: left as it is
};

// What the worker thread of one compression borrows from its caller.
struct TFileCompressRec {
    std::string FileName;
    TCompressAction Action = TCompressAction::caCompress;
    int Level = 0; // the compression level; 0 for the file system's default
    bool ResultSuccess = false;
    int ErrorCode = 0; // system error of the step that failed
    // Set instead of ErrorCode when the worker failed with an exception or could not start.
    std::string ErrorText;
};

// The body of the compression worker thread: carries out Rec.Action on Rec.FileName through
// the file system only (no engine state), clearing a read-only bit for the duration. Never
// throws: any error is a failure in Rec.
void CompressThreadProc(IFileSystem& fs, TFileCompressRec& Rec) noexcept;
// Switches the file's compression on or off; false with the system error in *ErrorCode
// when the file could not be opened or the request failed.
bool SetFileCompression(IFileSystem& fs, const std::string& FileName, bool Compress,
                        int* ErrorCode = nullptr, int Level = 0);

class TfrmBrimblemain {
public:
    // Builds the engine state (the window's creation handler): initial values, the log
    // with its level from the command line, "Program started", the persistent lists.
    TfrmBrimblemain(Platform& platform, IUiLoop& uiLoop, IMainView& view,
                    const TProgramFolders& folders);
    ~TfrmBrimblemain();
    TfrmBrimblemain(const TfrmBrimblemain&) = delete;
    TfrmBrimblemain& operator=(const TfrmBrimblemain&) = delete;

    // --- log ---
    void Log(const std::string& S, int LogLev);
    // A file name as a log text shows it: control characters escaped, line breaks too, so
    // a name can never look like an entry of its own.
    std::string LogName(const std::string& Name);

    // --- compression decision ---
    TCompressAction GetCompressAction(const std::string& Dir, const TFileAttrRec& FileAttrRec);
    TCompressAction GetCompressAction(const std::string& FileName);
    bool IsFolderExcluded(const std::string& Dir);
    // The scan thread's directory-enter event; runs on the scan thread and reads only the
    // snapshot taken when the scan started.
    void BeforeDirectoryEnter(const void* Sender, const std::string& Dir, bool& AllowEnter);
    // The entry of the current options that excludes Folder (at or below its folder);
    // nothing when none does or the excluded folders are switched off.
    std::optional<TExcludedFolder> CoveringExcludedFolder(const std::string& Folder);

    // --- compression worker ---
    bool TryCompressFile(const std::string& FileName, TCompressAction Action);

    // --- file processing and statistics ---
    void ProcessFoundFile(const void* Sender, const std::string& Path,
                          const TFileAttrRec& FileAttrRec);
    void UpdateStats(int64_t onDiskCount, int64_t onDiskSize, int64_t toCompressCount,
                     int64_t toCompressSize, int64_t compressedCount, int64_t compressedSize);
    // Bytes on disk; the largest value when the query fails, so that it shows no gain.
    int64_t GetCompressedSize(const std::string& FileName);
    void ResetStats();
    void ShowStatus(const std::string& Text);

    // --- persistent lists ---
    // The list of that kind, read-only and on the UI thread like every list access; null
    // once the exit has saved and released it.
    const TCompressList* CompressList(TListKind Kind) const;
    // Adds the file as the list of that kind holds it: the delayed list with today's day
    // stamp, the lag list with the date-time stamp, the never list its bare name. False when
    // the list has it already (an entry keeps its first stamp) or is gone.
    bool AddToList(TListKind Kind, const std::string& FileName);
    // Removes the file's entry (from the never list its bare name); false when there is none.
    bool RemoveFromList(TListKind Kind, const std::string& FileName);
    // The file's bare name goes to the never list and the file leaves the other two.
    void NeverCompress(const std::string& FileName);
    // PurgeCompressList of the list of that kind.
    void PurgeList(TListKind Kind, bool CheckAge, bool CheckExistence = true);
    // The delayed list's purge of a timer tick: the never list and the age rule when the
    // day, the never list or the age limit changed; whether the files exist in sweeps of at
    // least a minute, a bounded share of the list each tick.
    void PurgeDelayedOnTick();
    void TryRemoveFromDelayedList(const std::string& FileName);
    // The start-up order of the three lists; the owner calls it once the settings are read.
    void LoadLists();
    // Start-up: the settings file, then the lists, whose purge reads the stored settings.
    void LoadSettingsAndLists();
    // Reads the settings file into the options record; something there that cannot be read
    // (no permission, a FIFO, a folder) gives the defaults and is logged.
    void LoadSettings();
    // Why the last LoadSettings found a settings file but could not read it; empty when it
    // could, or when there was none.
    const std::string& SettingsReadError() const { return FSettingsReadError; }
    // The exit order: lag, delayed, then never, so names moved by the purge are kept.
    void SaveLists();

    // Why the last compression of the file failed, as the delayed list keeps it for a later
    // try; empty when none failed since the start (or it worked since).
    std::string LastFailure(const std::string& FileName) const;

    // --- smart compress queue ---
    // A watcher's report (UI thread, the watcher waits): ignored, queued or compressed now
    // by the smart-compress mode.
    void FileChanged(const void* Sender, const std::string& FileName);
    // A watcher's report of a file just created, before its data comes: in the interactive
    // mode with CompressNewFiles, a file the decision by name admits is marked for
    // compression at once; its finished report settles the mark.
    void FileCreated(const void* Sender, const std::string& FileName);
    // Processes one file now under FCriticalSection; errors propagate to the caller.
    void SmartCompress(const std::string& FileName);

    // --- drive list ---
    // Rebuilds FDriveLettersList and the drive check list (keeping ticks) and restarts the
    // change watchers.
    void RefreshDriveList();
    // Stops and forgets every change watcher.
    void StopMonitoring();
    // The qualifying drives, parallel to the drive check list's items.
    const std::vector<TDriveEntry>& DriveLettersList() const { return FDriveLettersList; }
    // One line per local volume that does not qualify, with the reason ("/ (ext4): ...").
    const std::vector<std::string>& DriveRefusals() const { return FDriveRefusals; }
    // What the window shows in place of an empty drive list; empty when there are drives.
    std::string NoDrivesText() const;
    // Watchers started by the last refresh that are still listed.
    std::size_t MonitoringDriveCount() const { return FMonitoringDrivesList.size(); }
    // Also told, besides the log, each line that says how a drive is watched or why its
    // watcher ended (a service prints them).
    void SetMonitoringReport(std::function<void(const std::string& Line)> Report) {
        FMonitoringReport = std::move(Report);
    }

    // How each volume is watched, and what the background mode did there since the start:
    // the watched drives first, then the drives left unwatched and the refused volumes.
    struct TVolumeWatch {
        std::string Root;
        std::string How; // the watcher's own words, or why there is none
        bool Watched = false;
        int64_t FilesCompressed = 0;
        int64_t BytesSaved = 0;
    };
    std::vector<TVolumeWatch> VolumeWatches() const;

    // --- delayed compress and timers ---
    void ProcessDelayedFiles(bool Idle, bool Visual);
    void tmrIncessantTimer();
    void tmrDelayedCompressTimer();
    // Milliseconds since the user's last input, as a signed 32-bit number.
    int32_t GetIdleTime();
    // The options dialog's "Try compress files now"; Visual is always true there.
    void TryCompressDelayed(bool Visual);
    ITimer& tmrIncessant() { return *FtmrIncessant; }
    ITimer& tmrDelayedCompress() { return *FtmrDelayedCompress; }
    int32_t IdlesAccepted() const { return FIdlesAccepted; }
    bool ProcessingDelayedFiles() const { return FProcessingDelayedFiles; }
    // The timer part of the options: tmrIncessant ticks every second unless smart
    // compression is off, tmrDelayedCompress every CompressAgainDelay ms in the interactive
    // mode only.
    void ApplyTimerOptions();

    // --- applying options ---
    // Makes the options take effect: the first run shows the window (unless it is to start
    // hidden), then autostart, language, timers, priority and the drive list follow them.
    void OptionsChanged();
    // The process, the UI thread and a running scan thread at one priority level.
    void SetPriority(PriorityLevel Value);
    // The log-on entry Name: 0 writes it (this program), 1 deletes it, 2 asks whether it
    // exists. For 0 and 1 whether that worked; any other action gives false.
    bool AutorunEntry(const std::string& Name, int Action);
    // A program without a window (the background service) neither shows one nor keeps the
    // tray program's autostart entry in step.
    void SetWindowless(bool Windowless) { FWindowless = Windowless; }
    // The settings file moves to the per-user folder when the program's folder refuses it.
    void SetIniFileName(const std::string& IniFileName) { FFolders.IniFileName = IniFileName; }

    // --- start-up and shutdown ---
    // Stops the watchers and a scan, saves the lists, logs the end and quits the UI loop.
    // Timers and late reports find nothing to do afterwards; a second call does nothing.
    void ProgramExit();
    bool ShuttingDown() const { return FShuttingDown; }
    // Drives came or went: the drive list follows unless a manual scan runs.
    void DeviceChanged();

    // --- volume queries ---
    // Whether the drive (a root, with or without its trailing delimiter) can take compressed
    // files: a removable (only with AllowRemovable), fixed or RAM drive whose file system
    // compresses and whose clusters are at most 4096 bytes.
    bool DriveOk(const std::string& DriveName, bool AllowRemovable);
    // Why the drive of Path takes no compressed files (as DriveOk judges it for a scan);
    // empty when it does or the platform cannot tell.
    std::string DriveRefusal(const std::string& Path);

    // --- scan controller ---
    // Go in "Scan path" mode: checks the folder, clears the statistics, rebuilds the excluded
    // folders and hands the folder to the scan thread. After ssWrongDrive the run stays
    // in its state until StopScan.
    // An estimate run predicts what it would save and changes nothing.
    TScanStart GoScanPath(const std::string& ScanPath, bool Estimate = false);
    // Rebuilds FExpandedFoldersList from the option ExcludeFolders.
    void RebuildExpandedFolders();
    // Hands Path to the scan thread (created at the first call); false, with "Wrong drive!"
    // logged, when the drive of Path does not qualify.
    bool StartScan(const std::string& Path);
    // Takes the estimate's model for the volume at Drive; false, with the reason logged,
    // where it has none.
    bool ChooseEstimateModelOf(const std::string& Drive);
    // A found file of the walk: an error while it is handled ends the run (ScanFailed).
    void HandleFoundFile(const void* Sender, const std::string& Path,
                         const TFileAttrRec& FileAttrRec);
    // Logs the error at level 0 and ends the run as Stop does; ScanError tells it afterwards.
    void ScanFailed(const std::string& Text);
    // The error that ended the last run early; empty when none did.
    const std::string& ScanError() const { return FScanError; }
    // The compressions of the last run that failed for now and wait in the delayed list.
    struct TRunFailures {
        int64_t Count = 0;
        std::string LastReason;
    };
    const TRunFailures& RunFailures() const { return FRunFailures; }
    // The scan thread's report of a folder it left out: logged.
    void DirectorySkipped(const void* Sender, const std::string& Dir, TDirectorySkip Reason,
                          int ErrorCode);
    // The window's scan buttons and scan-area choice. Estimate starts a run of the chosen
    // area as Go does, one that only predicts.
    void spdbtnGoClick();
    void btnEstimateClick();
    void spdbtnPauseClick();
    void spdbtnStopClick();
    void rgrpScanAreaClick();
    void sbtnBrowseFolderClick();
    // Enables the tag 1 controls while no scan runs and the tag 2 controls while one runs.
    void SetScanning(bool Scanning);
    // Indexes into FDriveLettersList of the ticked drives; -1 when there is none.
    int32_t GetFirstDriveIdx();
    int32_t GetLastDriveIdx();
    int32_t GetNextDriveIdx(int32_t Idx);
    // The scan thread's completion handler: ends the run.
    void ScanComplete(const void* Sender, bool ScanOK);
    // Stop: the walk ends after the file being handled and its completion ends the run; a
    // run without a walk (after "Wrong drive!") ends at once.
    void StopScan();
    // A manual run is going on, or a stopped walk has not reported its end yet.
    bool ScanRunning() const {
        return (FProcessingDriveIdx != pdiIdle && FProcessingDriveIdx != pdiDelayedRun) ||
               FWalkOutstanding;
    }

    // --- estimate ---
    // An estimate walks and decides as a scan does, but predicts each compression instead of
    // asking for it: no file, list or setting is changed. EstimateOnly makes every run of
    // this program one (the terminal's --estimate) and keeps the lists from being saved;
    // the window starts a single estimate run with GoScanPath or btnEstimateClick.
    void SetEstimateOnly(bool EstimateOnly) { FEstimateOnly = EstimateOnly; }
    bool EstimateOnly() const { return FEstimateOnly; }
    // Whether the current run, or the last one once it ended, is an estimate.
    bool RunIsEstimate() const { return FRunEstimate; }
    // Why the files in Folder cannot be estimated (no compressor for its volume's format);
    // empty when they can, or when Folder lies on no volume (the walk refuses it then).
    std::string EstimateRefusal(const std::string& Folder);

    // --- accessors ---
    TBrimbleOptions& Options() { return *FOptions; }
    TLogFile& LogFile() { return *FLogFile; }
    Platform& GetPlatform() { return FPlatform; }
    IUiLoop& UiLoop() { return FUiLoop; }
    IMainView& View() { return FView; }
    const TProgramFolders& Folders() const { return FFolders; }
    const TStats& Stats() const { return FStatsT; }
    // The translatable texts of message boxes, English until a language file replaces them.
    TMessageTexts& MessageTexts() { return FMessageTexts; }

    // --- engine state, read-only ---
    // The run state: pdiIdle, pdiFolderScan, pdiDelayedRun or the index of the drive scanned.
    int32_t ProcessingDriveIdx() const { return FProcessingDriveIdx; }
    // The scan thread; null until the first walk starts.
    const TScanPathThread* ScanPathThread() const { return FScanPathThread.get(); }
    // The excluded folders as expanded last; null before they were first built.
    const std::vector<std::string>* ExpandedFolders() const { return FExpandedFoldersList.get(); }

private:
    // --- persistent lists ---
    void LoadCompressList(const std::string& ListFileName, std::string& FileNameField,
                          std::unique_ptr<TCompressList>& List, bool Purge, bool CheckAge);
    // Writes the list (or deletes the file of an empty one) and releases it.
    void SaveCompressList(std::unique_ptr<TCompressList>& List, const std::string& FileName,
                          bool Purge, bool CheckAge);
    // Drops the entries whose file is gone (unless CheckExistence is false), whose name is
    // on the never list, and with CheckAge those too old (to the never list).
    void PurgeCompressList(TCompressList& List, bool CheckAge, bool CheckExistence = true);
    bool AddToCompressList(TCompressList& List, const std::string& FileName, bool DayStamp);
    // The field that holds the list of that kind.
    std::unique_ptr<TCompressList>& ListOf(TListKind Kind);
    const std::unique_ptr<TCompressList>& ListOf(TListKind Kind) const;

    // The run state: pdiIdle, pdiFolderScan, pdiDelayedRun or the index of the drive scanned.
    int32_t FProcessingDriveIdx = pdiIdle;
    std::unique_ptr<TScanPathThread> FScanPathThread;
    // Excluded folders with environment references expanded: built when the options are
    // applied (watcher reports and delayed passes decide by them too) and at each scan start.
    std::unique_ptr<std::vector<std::string>> FExpandedFoldersList;
    // The persistent lists: lag (path=date-time), delayed (path=day), never (bare names).
    // The lag and delayed lists are shared by the compression of found files and the
    // background passes: every access in the engine holds FCriticalSection.
    std::unique_ptr<TCompressList> FLagCompressList;
    std::unique_ptr<TCompressList> FDelayedCompressList;
    std::unique_ptr<TCompressList> FNeverCompressList;
    std::recursive_mutex FCriticalSection;

    // Counts the calls running on this thread that a worker handed over and waits for.
    class THandOverScope {
    public:
        explicit THandOverScope(int& depth) : FDepth(depth) { ++FDepth; }
        ~THandOverScope() { --FDepth; }
        THandOverScope(const THandOverScope&) = delete;
        THandOverScope& operator=(const THandOverScope&) = delete;

    private:
        int& FDepth;
    };
    int FHandOverDepth = 0;
    // Sets a flag for a scope and gives it its earlier value back.
    class TFlagScope {
    public:
        TFlagScope(bool& flag, bool value) : FFlag(flag), FWas(std::exchange(flag, value)) {}
        ~TFlagScope() { FFlag = FWas; }
        TFlagScope(const TFlagScope&) = delete;
        TFlagScope& operator=(const TFlagScope&) = delete;

    private:
        bool& FFlag;
        bool FWas;
    };

    // --- compression worker ---
    TCompressOutcome CarryOut(const std::string& FileName, TCompressAction Action);
    // The level a compression uses now: the option's for a manual scan, the file system's
    // default for the background mode unless the user asked for the option's there too.
    int CompressionLevelNow() const;
    // Logs a refused change: each file at level 2, its folder once per run at level 1.
    void ReportRefusal(const std::string& FileName, const std::string& Reason);
    static constexpr std::size_t kMaxRefusedFolders = 4096;
    std::set<std::string> FRefusedFolders;

    // --- file processing ---
    // A file the decision would compress: left alone when its data is shared or the volume
    // stored it compressed already, else compressed and undone when it gained nothing.
    void CompressFoundFile(const std::string& FullName, int64_t Size, TCompressAction Action,
                           TStatsIncrement& inc);
    void LeaveOrDecompressFoundFile(const std::string& FullName, TCompressAction Action);
    // The estimate's part of a file to be compressed: its predicted size on disk against what
    // it takes now (Before), counted as a real run counts its measurement.
    void EstimateFoundFile(const std::string& FullName, int64_t Size,
                           const OsValue<TDataLayout>& Layout, int64_t Before,
                           TStatsIncrement& inc);
    // The estimates given to the pool and not yet counted, applied in the walk's order; all
    // are counted before a run ends or stops.
    struct TPendingEstimate {
        std::string FullName;
        int64_t Size = 0;
        int64_t Before = 0;
        std::optional<std::pair<uint64_t, uint64_t>> Linked;
        bool Predicted = false; // from the files of its group: not read
    };
    // Counts the estimates that are done, waiting for the oldest while too many are in
    // flight; with All, waits for every one.
    void CountEstimates(bool all);
    void CountEstimate(const TPendingEstimate& file, const OsValue<int64_t>& after);
    bool EstimatePending(const std::pair<uint64_t, uint64_t>& linked) const;
    bool FEstimateOnly = false;
    // Set when a run starts; its totals stay an estimate's until the next run.
    bool FRunEstimate = false;
    // Only while a file of an estimate run's walk is handled: work for the background in
    // the same moment is carried out for real.
    bool FEstimatingFile = false;
    void StartRunClick(bool Estimate);
    void SetRunKind(bool Estimate);
    // The model of the volume being walked, chosen as its walk starts.
    std::shared_ptr<const TEstimateModel> FEstimateModel;
    // Reads and compresses the estimate's blocks while the walk goes on; made at the first
    // estimate.
    std::unique_ptr<TOrderedPool<OsValue<int64_t>, TEstimateWorker>> FEstimatePool;
    std::deque<TPendingEstimate> FPendingEstimates;
    // Files with other names that the estimate found a gain for, with their predicted size:
    // a real run finds them compressed already under their next name.
    std::map<std::pair<uint64_t, uint64_t>, int64_t> FEstimatedLinkedFiles;
    // Chooses the files the estimate reads and predicts the others; made for each run.
    std::unique_ptr<TEstimateSampler> FEstimateSampler;
    void StartEstimateSampling();
    // Forgets what the last run's estimates learnt: the next run predicts as the first did.
    void ForgetEstimates();
    // The estimate's workers at the priority of the scan thread.
    void SetEstimatePriority(PriorityLevel Value);
    void AddToStats(const TStatsIncrement& inc);
    void ShowStats(const TStats& s);

    // The folder an ExcludeFolders entry names, expanded and normalised with a trailing
    // delimiter; empty when it names none.
    std::string ExpandExcludedFolder(const std::string& Entry);
    std::shared_ptr<const TScanSnapshot> ScanSnapshot() const;
    // The end of a manual run: status cleared, controls idle, the completion sound and log
    // line, and for a run started by Go the drive-list refresh.
    void FinishScanRun();

    // --- applying options ---
    // The chosen language file's texts for the message boxes and every window.
    void ApplyLanguage();
    // Says in the log where the on-idle mode learns the idle time, when that changed.
    void LogIdleSource();
    std::string FLoggedIdleSource;

    // --- delayed compress and timers ---
    // The on-idle part of a tick: counts idle periods and starts an idle pass for each.
    void AcceptIdlePeriod();
    // The interactive part of a tick: the lag entries whose delay has passed.
    void ReleaseDueLagEntries();
    // The lag list walked from its end: the entry before Pos (npos: the last one).
    bool NextLagEntryFromEnd(std::size_t& Pos, std::string& Entry);
    // SmartCompress of a lag entry's file, then the entry goes whatever the outcome.
    void CompressAndDropLagEntry(const std::string& Entry);
    // The scan controls for a delayed run (Running) or back for idle.
    void SetDelayedRunControls(bool Running);
    // The end of a delayed run on every way out: controls back, status cleared, idle.
    void EndDelayedRun();
    // What the tick purge of the delayed list has done (PurgeDelayedOnTick). The rules that
    // need no disk ran for this day, never list and age limit; the files are looked at in
    // sweeps, at most one a minute, a share of the list each tick.
    struct TTickPurge {
        int64_t Day = -1;
        uint64_t NeverRevision = 0;
        int32_t MaxAge = 0;
        bool Swept = false; // a sweep has started, at SweepStart
        uint32_t SweepStart = 0;
        std::size_t SweepPos = static_cast<std::size_t>(-1);
        std::size_t LookUpsPerTick = 1;
    };
    TTickPurge FTickPurge;

    // --- compression decision and new files ---
    // The decision; without SizeRules the file's size is not looked at (a file just created).
    TCompressAction DecideAction(const std::string& Dir, const TFileAttrRec& FileAttrRec,
                                 bool SizeRules);
    // The finished report of a file marked as it was created: kept when it gained, rewritten
    // when data came before the mark, undone when the size rules or the gain say no.
    void SettleNewFile(const std::string& Dir, const TFileAttrRec& Entry, TNewFileMark Mark);
    // A new folder: marked unless excluded, so that what is created in it is compressed on
    // its way to the disk however soon it is written. Inherited: it has the mark of a
    // folder marked before.
    void MarkNewFolder(const std::string& FolderName, bool Inherited);
    // Takes this program's mark of a new file or folder back; the data stays as written.
    void UnmarkNewFile(const std::string& FileName);
    TNewFileMarks FNewFileMarks;

    // --- what the waiting-files view tells ---
    // The last failure per file; bounded, as a full disk may fail every file of a scan.
    static constexpr std::size_t kMaxFailuresKept = 100000;
    std::map<std::string, std::string> FLastFailures;
    struct TWatchState {
        std::string Text;
        bool Ended = false;
    };
    std::map<std::string, TWatchState> FWatchStates;
    struct TBackgroundTotals {
        int64_t Files = 0;
        int64_t Saved = 0;
    };
    std::map<std::string, TBackgroundTotals> FBackgroundTotals; // by drive root
    // Where the compressions of the file SmartCompress handles are counted.
    TBackgroundTotals* FBackgroundTarget = nullptr;
    class TBackgroundScope {
    public:
        TBackgroundScope(TBackgroundTotals*& target, TBackgroundTotals& totals)
            : FTarget(target), FWas(target) {
            FTarget = &totals;
        }
        ~TBackgroundScope() { FTarget = FWas; }
        TBackgroundScope(const TBackgroundScope&) = delete;
        TBackgroundScope& operator=(const TBackgroundScope&) = delete;

    private:
        TBackgroundTotals*& FTarget;
        TBackgroundTotals* FWas;
    };

    // --- drive list ---
    // Fills FDriveLettersList with the drives that qualify (removable ones too).
    void FillDriveLettersList();
    // Replaces the check list's items, keeping the ticks that Previous holds for its roots.
    void RebuildDriveItems(const std::vector<TDriveEntry>& Previous);
    // The end of every refresh: the list sorted and a watcher per fixed drive or RAM disk.
    void FinishDriveListRefresh();
    // Stops the watchers of drives that left (or hold another volume now, or whose watcher
    // ended by itself) and starts one for each qualifying drive without one; a drive that
    // stays keeps its watcher.
    void StartMonitoring();
    void StartWatcher(const std::string& Root);
    void MonitoringReport(const std::string& Line, int LogLev);
    // A running watcher and the volume it watches.
    struct TMonitoredDrive {
        std::string Root;
        std::optional<uint64_t> VolumeId;
        std::unique_ptr<TMonitorFileChanged> Watcher;
    };
    // The back end's reports (folders it cannot watch) go to the log from before the first
    // watcher starts until this object goes.
    struct TDiagnosticsHookup {
        Platform* Connected = nullptr;
        TDiagnosticsHookup() = default;
        TDiagnosticsHookup(const TDiagnosticsHookup&) = delete;
        TDiagnosticsHookup& operator=(const TDiagnosticsHookup&) = delete;
        ~TDiagnosticsHookup() {
            if (Connected) Connected->SetDiagnosticsSink(nullptr);
        }
    };

    // --- scan controller: Go, Pause and drive runs ---
    // Whether a typed scan folder is one the platform accepts and whose drive it can tell.
    bool IsScanPathAcceptable(const std::string& ScanPath);
    // A walk is handed to the scan thread for a run that was not stopped: Pause holds it,
    // Go releases it.
    bool WalkInProgress() const;
    // The ticks of the drive check list's items, stored with FDriveLettersList and copied
    // into FScanDrives.
    void TakeDriveTicks();
    // StartScan of the run's drive Idx; false after "Wrong drive!" was shown.
    bool StartDriveScan(int32_t Idx);
    void ShowWarning(const std::string& Text);
    // The run's own copy of the drives and ticks taken at Go: a drive-list refresh during
    // the run rebuilds FDriveLettersList, but the indexes the run walks stay valid.
    std::vector<TDriveEntry> FScanDrives;
    // The run began with Go in the window: its end refreshes the drive list, which restarts
    // the change watchers. Runs of the headless scan command start none.
    bool FRefreshDrivesAfterRun = false;

    Platform& FPlatform;
    IUiLoop& FUiLoop;
    IMainView& FView;
    TProgramFolders FFolders;
    std::unique_ptr<TBrimbleOptions> FOptions;
    std::unique_ptr<TLogFile> FLogFile;
    int32_t FProcessingDiskClusterSize = 4096;
    std::vector<TDriveEntry> FDriveLettersList;
    std::vector<std::string> FDriveRefusals;
    std::vector<TMonitoredDrive> FMonitoringDrivesList;
    std::function<void(const std::string& Line)> FMonitoringReport;
    TDiagnosticsHookup FDiagnosticsHookup; // after the log, so that it goes first
    std::unique_ptr<ITimer> FtmrIncessant;
    std::unique_ptr<ITimer> FtmrDelayedCompress;
    TStats FStatsT;
    // What the labels say, in which separators; none after a reset.
    struct TShownStats {
        TStats Stats;
        std::string Thousand;
        std::string Decimal;
    };
    std::optional<TShownStats> FStatsShown;
    TMessageTexts FMessageTexts;
    bool FProcessingDelayedFiles = false;
    bool FProgramJustStarted = true;
    bool FWindowless = false;
    bool FShuttingDown = false;
    // Exit was asked for while a delayed run held the UI thread.
    bool FExitAfterDelayedRun = false;
    int32_t FIdlesAccepted = 0;
    std::string FLagCompressListFileName;
    std::string FDelayedCompressListFileName;
    std::string FNeverCompressListFileName;
    // A walk was handed to the scan thread and its completion has not come back yet.
    bool FWalkOutstanding = false;
    // List files that existed but could not be read: saving over them would lose them.
    std::set<std::string> FUnreadableListFiles;
    std::string FScanError;
    TRunFailures FRunFailures;
    std::string FSettingsReadError;
    // Replaced at each scan start on the UI thread, read by the scan thread.
    mutable std::mutex FScanSnapshotLock;
    std::shared_ptr<const TScanSnapshot> FScanSnapshot;
};

} // namespace brimble
