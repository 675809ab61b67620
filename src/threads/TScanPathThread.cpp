#include "threads/TScanPathThread.h"

#include "threads/HandOverWait.h"

#include <chrono>
#include <optional>
#include <utility>

namespace brimble {

namespace {

// Links and other reparse points are neither entered nor reported: a link can lead back up
// the tree or out of the scanned area, and its target is reached where it really lies.
bool IsReparsePoint(const TFileAttrRec& entry) {
    return (entry.Attr & fa::ReparsePoint) != 0;
}

// An empty name, or one holding the delimiter, cannot be an entry of this directory; it
// would make the walk leave it.
bool IsUsableName(const std::string& name, char delimiter) {
    return !name.empty() && name.find(delimiter) == std::string::npos;
}

} // namespace

struct TScanPathThread::DirFrame {
    std::unique_ptr<IDirListing> Listing;
    std::size_t ParentLength = 0; // length of the parent's path, to cut back to

    bool Next(TFileAttrRec& entry) { return Listing->Next(entry); }
};

TScanPathThread::TScanPathThread(IFileSystem& fs, IUiLoop& uiLoop, const std::string& Path)
    : FFs(fs), FUiLoop(uiLoop), FDelimiter(fs.PathDelimiter()), FPath(Path) {}

TScanPathThread::~TScanPathThread() {
    Terminate();
    Release();
    WaitUntilEnded();
    if (FThread.joinable()) FThread.join();
}

void TScanPathThread::Start() {
    if (FThread.joinable()) return;
    FThread = std::thread([this] { Execute(); });
}

void TScanPathThread::Scan(const std::string& Path) {
    std::lock_guard lock(FMutex);
    FScanComplete = true;
    FPath = Path;
    FResumeWithNewPath = true;
    FAbortPendingWalk = false;
    FWake.notify_all();
}

void TScanPathThread::Abort() {
    std::lock_guard lock(FMutex);
    FScanComplete = true;
    // A Stop that comes between a Scan and the start of its walk must still stop it.
    if (FResumeWithNewPath) FAbortPendingWalk = true;
}

void TScanPathThread::Pause() {
    std::lock_guard lock(FMutex);
    FPaused = true;
}

void TScanPathThread::Release() {
    std::lock_guard lock(FMutex);
    FPaused = false;
    FWake.notify_all();
}

bool TScanPathThread::Paused() const {
    std::lock_guard lock(FMutex);
    return FPaused;
}

void TScanPathThread::Terminate() {
    std::lock_guard lock(FMutex);
    FTerminated = true;
    FWake.notify_all();
}

bool TScanPathThread::Idle() const {
    std::lock_guard lock(FMutex);
    return FIdle;
}

void TScanPathThread::SetPriority(IProcess& process, PriorityLevel level) {
    std::lock_guard lock(FMutex);
    FPriorityProcess = &process;
    FPriority = level;
    FPriorityPending = true;
}

bool TScanPathThread::ScanComplete() const {
    std::lock_guard lock(FMutex);
    return FScanComplete;
}

bool TScanPathThread::ScanOK() const {
    std::lock_guard lock(FMutex);
    return FScanOK;
}

void TScanPathThread::Execute() {
    std::unique_lock lock(FMutex);
    while (!FTerminated) {
        if (!FResumeWithNewPath) {
            FIdle = true;
            FWake.wait(lock, [this] { return FTerminated || FResumeWithNewPath; });
            FIdle = false;
            continue;
        }
        FResumeWithNewPath = false;
        FScanComplete = std::exchange(FAbortPendingWalk, false);
        FScanOK = false;
        const std::string root = FPath;
        lock.unlock();
        ScanPath(root);
        lock.lock();
    }
    FEnded = true;
    FWake.notify_all();
}

void TScanPathThread::ScanPath(const std::string& root) {
    {
        std::unique_lock lock(FMutex);
        WaitWhilePaused(lock);
    }
    // An empty root would name the current drive's root on some platforms: nothing to walk.
    if (!root.empty()) {
        std::string rootDir = root;
        if (rootDir.back() != FDelimiter) rootDir += FDelimiter;
        try {
            WalkTree(rootDir);
        } catch (...) {
            // A failing file system ends the walk like Abort; the completion still comes,
            // after the files found before.
            FlushFound();
        }
    }
    StopWalk();
    ReportCompletion();
}

void TScanPathThread::WalkTree(const std::string& rootDir) {
    DirStack stack;
    std::string dir = rootDir;
    const std::optional<uint64_t> rootFileSystem = FFs.FileSystemIdOf(rootDir);
    EnterDirectory(stack, dir, 0, rootFileSystem);
    TFileAttrRec entry;
    while (!stack.empty() && !ShouldStop()) {
        DirFrame& top = stack.back();
        if (!top.Next(entry)) {
            dir.resize(top.ParentLength);
            stack.pop_back();
            continue;
        }
        if (IsReparsePoint(entry) || !IsUsableName(entry.Name, FDelimiter)) continue;
        if ((entry.Attr & fa::Directory) != 0) {
            // ".", ".." and every other dot-named directory (.git, .svn, ...).
            if (entry.Name.front() == '.') continue;
            const std::size_t parentLength = dir.size();
            dir += entry.Name;
            dir += FDelimiter;
            EnterDirectory(stack, dir, parentLength, rootFileSystem);
            continue;
        }
        ReportFile(dir, entry);
    }
    FlushFound();
}

void TScanPathThread::EnterDirectory(DirStack& stack, std::string& dir, std::size_t parentLength,
                                     const std::optional<uint64_t>& rootFileSystem) {
    // The files of the folder listed so far go over before another folder is looked at: a
    // batch is a part of one listing, and the reports keep the walk's order.
    FlushFound();
    // Asked first, so that a refused folder is never listed, however wide it is.
    if (!AllowedByEvent(dir)) {
        dir.resize(parentLength);
        return;
    }
    // As "find -xdev" does: mounts and subvolumes inside the tree have their own walks.
    if (parentLength != 0 && rootFileSystem) {
        const std::optional<uint64_t> fileSystem = FFs.FileSystemIdOf(dir);
        if (fileSystem && *fileSystem != *rootFileSystem) {
            ReportSkip(dir, TDirectorySkip::dsOtherFileSystem, 0);
            dir.resize(parentLength);
            return;
        }
    }
    OsValue<std::unique_ptr<IDirListing>> listing = FFs.OpenListing(dir);
    if (!listing) {
        ReportSkip(dir, TDirectorySkip::dsUnlistable, listing.code());
        dir.resize(parentLength);
        return;
    }
    stack.push_back(DirFrame{std::move(*listing), parentLength});
}

bool TScanPathThread::AllowedByEvent(const std::string& dir) {
    if (!OnBeforeDirectoryEnter) return true;
    bool allowEnter = true;
    try {
        OnBeforeDirectoryEnter(*this, dir, allowEnter);
    } catch (...) {
        allowEnter = false;
        StopWalk();
    }
    return allowEnter;
}

void TScanPathThread::ReportFile(const std::string& dir, const TFileAttrRec& entry) {
    if (!OnFileFound || ShouldStop()) return;
    if (FFound.empty()) FFirstFound = std::chrono::steady_clock::now();
    FFound.push_back({dir, entry});
    if (FoundBatchDue()) FlushFound();
}

bool TScanPathThread::FoundBatchDue() const {
    return FFound.size() >= BatchSize ||
           (!FFound.empty() && std::chrono::steady_clock::now() - FFirstFound >= BatchTime);
}

void TScanPathThread::FlushFound() {
    std::size_t next = 0;
    while (next < FFound.size() && !ShouldStop()) {
        // Applied at once, by the UI thread, before the next hand-over.
        if (!HandOver([this, &next] { next = HandleFound(next); })) break;
    }
    FFound.clear();
}

std::size_t TScanPathThread::HandleFound(std::size_t first) {
    const auto sliceEnd = std::chrono::steady_clock::now() + BatchTime;
    std::size_t i = first;
    while (i < FFound.size()) {
        {
            std::lock_guard lock(FMutex);
            // A handler that paused or stopped the walk acts before the next file.
            if (FTerminated || FScanComplete || FPaused) break;
            FScanOK = true;
        }
        const TFound& found = FFound[i++];
        OnFileFound(*this, found.Directory, found.Entry);
        if (std::chrono::steady_clock::now() >= sliceEnd) break;
    }
    return i;
}

void TScanPathThread::ReportSkip(const std::string& dir, TDirectorySkip reason, int errorCode) {
    FlushFound();
    if (!OnDirectorySkipped || ShouldStop()) return;
    HandOver(
        [this, &dir, reason, errorCode] { OnDirectorySkipped(*this, dir, reason, errorCode); });
}

void TScanPathThread::ReportCompletion() {
    if (!OnComplete) return;
    bool scanOK = false;
    {
        std::lock_guard lock(FMutex);
        scanOK = FScanOK;
    }
    HandOver([this, scanOK] { OnComplete(*this, scanOK); });
}

bool TScanPathThread::HandOver(const std::function<void()>& call) {
    {
        std::unique_lock lock(FMutex);
        WaitWhilePaused(lock);
        if (FTerminated) return false;
        FInHandOver = true;
    }
    FWake.notify_all(); // a destructor waiting on the UI thread serves it
    bool ok = true;
    try {
        // After a terminate request nothing more is reported: the owner is going away.
        FUiLoop.RunAndWait([this, &call] {
            if (!TerminateRequested()) call();
        });
    } catch (...) {
        // The handler's error is the UI's to report; here it only ends the walk.
        ok = false;
    }
    std::lock_guard lock(FMutex);
    FInHandOver = false;
    if (!ok) FScanComplete = true;
    return ok;
}

bool TScanPathThread::ShouldStop() {
    std::unique_lock lock(FMutex);
    WaitWhilePaused(lock);
    return FTerminated || FScanComplete;
}

void TScanPathThread::WaitWhilePaused(std::unique_lock<std::mutex>& lock) {
    for (;;) {
        FWake.wait(lock, [this] { return !FPaused || FTerminated; });
        if (!FPriorityPending) return;
        // A platform can portably set only the calling thread's priority.
        FPriorityPending = false;
        IProcess* process = FPriorityProcess;
        const PriorityLevel level = FPriority;
        lock.unlock();
        try {
            process->SetCurrentThreadPriority(level);
        } catch (...) {
            // The walk goes on at the old priority.
        }
        lock.lock();
    }
}

bool TScanPathThread::TerminateRequested() const {
    std::lock_guard lock(FMutex);
    return FTerminated;
}

void TScanPathThread::StopWalk() {
    std::lock_guard lock(FMutex);
    FScanComplete = true;
}

void TScanPathThread::WaitUntilEnded() {
    if (!FThread.joinable()) return;
    std::unique_lock lock(FMutex);
    WaitServingHandOver(FUiLoop, lock, FWake, FEnded, FInHandOver);
}

} // namespace brimble
