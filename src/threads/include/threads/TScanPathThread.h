#pragma once

// The one long-lived worker thread of a manual scan. It walks a tree depth-first and
// hands the files, and the end of each walk, to the UI thread, waiting until the handler
// has run. It decides nothing and changes no file. Files go over in batches, each a part
// of one folder's listing (up to BatchSize, or what was found within BatchTime): one
// hand-over costs more than deciding a file that needs nothing. The UI thread still handles them
// one by one, in the walk's order, and a hand-over returns once it has handled files for BatchTime,
// so that Pause, Stop and the window's other messages act between two files as before.

#include "platform/Platform.h"
#include "threads/UiLoop.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace brimble {

class TScanPathThread;

using TFileNotifyEvent = std::function<void(TScanPathThread& Sender, const std::string& Path,
                                            const TFileAttrRec& FileAttrRec)>;
using TScanNotifyEvent = std::function<void(TScanPathThread& Sender, bool ScanOK)>;
using TDirectoryEnterNotifyEvent =
    std::function<void(TScanPathThread& Sender, const std::string& Dir, bool& AllowEnter)>;

// Why the walk left out a folder that the directory event allowed.
enum class TDirectorySkip {
    dsOtherFileSystem, // a mount point or another btrfs subvolume below the walk's root
    dsUnlistable,      // the listing failed (no permission, vanished); ErrorCode tells why
};
using TDirectorySkipNotifyEvent = std::function<void(
    TScanPathThread& Sender, const std::string& Dir, TDirectorySkip Reason, int ErrorCode)>;

class TScanPathThread {
public:
    static constexpr std::size_t BatchSize = 256;
    static constexpr std::chrono::microseconds BatchTime{2000};

    // Made without starting; Start begins with a walk of Path.
    TScanPathThread(IFileSystem& fs, IUiLoop& uiLoop, const std::string& Path);
    // Requests termination, releases a pause and joins: no path leaves the thread running.
    ~TScanPathThread();
    TScanPathThread(const TScanPathThread&) = delete;
    TScanPathThread& operator=(const TScanPathThread&) = delete;

    // Set before Start.
    TFileNotifyEvent OnFileFound;
    TScanNotifyEvent OnComplete;
    // Called on the scan thread, before the folder is looked at in any other way.
    TDirectoryEnterNotifyEvent OnBeforeDirectoryEnter;
    // Called on the UI thread, like OnFileFound.
    TDirectorySkipNotifyEvent OnDirectorySkipped;

    void Start();
    // Stops the walk in progress at its next check and walks Path next.
    void Scan(const std::string& Path);
    // Stops the walk in progress at its next check; completion is still reported.
    void Abort();
    // Holds the thread before its next entry or hand-over; Release lets it go on.
    void Pause();
    void Release();
    bool Paused() const;
    // The body ends at its next check, and nothing more is reported; the destructor joins.
    void Terminate();
    bool Idle() const; // asleep after a walk
    void SetPriority(IProcess& process, PriorityLevel level);

    bool ScanComplete() const;
    bool ScanOK() const;

private:
    struct DirFrame;
    using DirStack = std::vector<DirFrame>;

    void Execute();
    void ScanPath(const std::string& root);
    // Depth-first over an explicit stack of open listings: memory grows with depth only.
    // The walk stays on the file system of its root.
    void WalkTree(const std::string& rootDir);
    // Asks the directory event, checks the file system and opens Dir's listing; pushes it
    // when it is to be walked, else cuts Dir back to ParentLength.
    void EnterDirectory(DirStack& stack, std::string& dir, std::size_t parentLength,
                        const std::optional<uint64_t>& rootFileSystem);
    bool AllowedByEvent(const std::string& dir);
    // Queues a found file; the batch goes over when full or old enough.
    void ReportFile(const std::string& dir, const TFileAttrRec& entry);
    // Hands the queued files over, in as many hand-overs as the UI thread's time slices need.
    void FlushFound();
    bool FoundBatchDue() const;
    // On the UI thread: handles queued files from First on until a stop, a pause or the end
    // of the time slice; returns the index of the first file left.
    std::size_t HandleFound(std::size_t first);
    void ReportSkip(const std::string& dir, TDirectorySkip reason, int errorCode);
    void ReportCompletion();
    // Runs Call on the UI thread and waits; false (and the walk stops) when it raised.
    bool HandOver(const std::function<void()>& call);
    bool ShouldStop(); // terminate request or FScanComplete, after any pause
    // Waits out a pause and applies a pending priority; Lock (on FMutex) is held on return.
    void WaitWhilePaused(std::unique_lock<std::mutex>& lock);
    bool TerminateRequested() const;
    void StopWalk();
    // On the UI thread a waiting hand-over must be served, or the thread could never end.
    void WaitUntilEnded();

    IFileSystem& FFs;
    IUiLoop& FUiLoop;
    const char FDelimiter;
    mutable std::mutex FMutex;
    std::condition_variable FWake;
    std::string FPath;
    bool FScanComplete = false;
    bool FScanOK = false;
    // A walk of FPath is owed: set at creation and by every Scan, also while asleep, so
    // that the check and falling asleep are one step under FMutex.
    bool FResumeWithNewPath = true;
    // Abort came after a Scan whose walk has not begun: that walk ends at once.
    bool FAbortPendingWalk = false;
    bool FTerminated = false;
    bool FIdle = false;
    bool FPaused = false;
    bool FInHandOver = false;
    bool FEnded = false;
    // Found files not yet handed over; the scan thread fills it only while no hand-over is
    // outstanding, the UI thread reads it only inside one.
    struct TFound {
        std::string Directory;
        TFileAttrRec Entry;
    };
    std::vector<TFound> FFound;
    std::chrono::steady_clock::time_point FFirstFound;
    bool FPriorityPending = false;
    PriorityLevel FPriority = 3;
    IProcess* FPriorityProcess = nullptr;
    std::thread FThread; // last: started after every other member exists
};

} // namespace brimble
