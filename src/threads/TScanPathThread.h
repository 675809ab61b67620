#pragma once

// The one long-lived worker thread of a manual scan. It walks a tree depth-first and
// hands each file, and the end of each walk, to the UI thread, waiting until the handler
// has run. It decides nothing and changes no file.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Platform.h"
#include "threads/UiLoop.h"

namespace brimble {

class TScanPathThread;

using TFileNotifyEvent = std::function<void(TScanPathThread& Sender, const std::string& Path,
                                            const TFileAttrRec& FileAttrRec)>;
using TScanNotifyEvent = std::function<void(TScanPathThread& Sender, bool ScanOK)>;
using TDirectoryEnterNotifyEvent =
    std::function<void(TScanPathThread& Sender, const std::string& Dir, bool& AllowEnter)>;

class TScanPathThread {
public:
    // Made without starting; Start begins with a walk of Path.
    TScanPathThread(IFileSystem& fs, IUiLoop& uiLoop, const std::string& Path);
    // Requests termination, releases a pause and joins: no path leaves the thread running.
    ~TScanPathThread();
    TScanPathThread(const TScanPathThread&) = delete;
    TScanPathThread& operator=(const TScanPathThread&) = delete;

    // Set before Start.
    TFileNotifyEvent OnFileFound;
    TScanNotifyEvent OnComplete;
    TDirectoryEnterNotifyEvent OnBeforeDirectoryEnter;

    void Start();
    // Stops the walk in progress at its next check and walks Path next.
    void Scan(const std::string& Path);
    // Stops the walk in progress at its next check; completion is still reported.
    void Abort();
    // Holds the thread before its next entry or hand-over; Release lets it go on.
    void Pause();
    void Release();
    bool Paused() const;
    // The body ends at its next check; the destructor joins.
    void Terminate();
    bool Idle() const; // asleep after a walk
    void SetPriority(IProcess& process, PriorityLevel level);

    bool ScanComplete() const;
    bool ScanOK() const;

private:
    void Execute();
    void ScanPath(const std::string& root);
    bool ShouldStop();          // terminate request or FScanComplete
    void WaitWhilePaused();

    IFileSystem& FFs;
    IUiLoop& FUiLoop;
    std::thread FThread;
    mutable std::mutex FMutex;
    std::condition_variable FWake;
    std::string FPath;
    bool FScanComplete = false;
    bool FScanOK = false;
    bool FResumeWithNewPath = false;
    bool FTerminated = false;
    bool FIdle = false;
    bool FPaused = false;
    std::string FDirectory;
    TFileAttrRec FSearchRec;
    bool FPriorityPending = false;
    PriorityLevel FPriority = 3;
    IProcess* FPriorityProcess = nullptr;
};

} // namespace brimble
