#include "threads/TMonitorFileChanged.h"

#include "threads/HandOverWait.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>
#include <vector>

namespace brimble {

namespace {

bool IsReportedAction(uint32_t action) {
    return action == fileaction::Added || action == fileaction::Modified ||
           action == fileaction::RenamedNewName;
}

// One change often comes as several records (a copy grows a file in steps).
bool IsRepeat(const ChangeRecord& record, const TFileChangedInfo& last, TDateTime now) {
    return record.Name == last.Name && record.Action == last.Action &&
           now - last.Time < TMonitorFileChanged::RepeatWindow;
}

std::string WithDelimiter(const std::string& path, char delimiter) {
    // An empty path names no folder, so it stays empty.
    if (path.empty() || path.back() == delimiter) return path;
    return path + delimiter;
}

} // namespace

struct TMonitorFileChanged::Core {
    Core(TMonitorFileChanged& owner, Platform& platform, IUiLoop& uiLoop, std::string path,
         TMonitorHandlers handlers)
        : FOwner(owner), FChangeWatching(platform.ChangeWatching()), FClock(platform.Clock()),
          FUiLoop(uiLoop), FPath(std::move(path)), FFileChanged(std::move(handlers.OnFileChanged)),
          FChangesLost(std::move(handlers.OnChangesLost)),
          FWatchState(std::move(handlers.OnWatchState)),
          FFileCreated(std::move(handlers.OnFileCreated)) {}

    void Execute();
    // Why the watcher ended without a stop request; empty when it was asked to stop.
    std::string Watch();
    // Opens the reader where a stop request can reach it and sets it up; null when it
    // could not, with Why set.
    IChangeReader* OpenReader(std::string& why);
    bool ReportWatchState(const std::string& text, bool ended);
    // False when the watcher is to end: a hand-over failed or a stop request came.
    bool HandleBatch(const std::vector<ChangeRecord>& records, TFileChangedInfo& last,
                     bool finishedChanges);
    bool ReportChange(const std::string& name, const TFileChangedEvent& handler);
    bool ReportLostChanges();
    void CallFileChanged(const TFileChangedEvent& handler);
    // Runs Call on the UI thread and waits; false when it raised or a stop request came.
    bool HandOver(const std::function<void()>& call);
    // On the UI thread: marks the handler as running unless a stop request came.
    bool EnterHandler();
    void LeaveHandler();

    void Terminate();
    bool TerminateRequested() const;
    bool CalledFromOwnHandler() const;
    // On the UI thread a waiting hand-over must be served, or the thread could never end.
    void WaitUntilEnded();

    // The Sender of the handlers; used only in hand-overs, which end with the stop request
    // that this handle's destructor makes.
    TMonitorFileChanged& FOwner;
    IChangeWatching& FChangeWatching;
    IClock& FClock;
    IUiLoop& FUiLoop;
    const std::string FPath;
    const uint32_t FFilter = DefaultFilter;
    const TFileChangedEvent FFileChanged;
    const TChangesLostEvent FChangesLost;
    const TWatchStateEvent FWatchState;
    const TFileChangedEvent FFileCreated;
    // Why the last hand-over raised, for the end's report.
    std::string FHandOverError;
    // Written by the thread only while no hand-over is outstanding; read inside one.
    std::string FChangedFileName;

    mutable std::mutex FMutex;
    std::condition_variable FStateChanged;
    // Open while the thread reads, so that a stop request can wake it.
    std::unique_ptr<IChangeReader> FReader;
    bool FTerminated = false;
    bool FInHandOver = false;
    bool FInHandler = false;
    bool FEnded = false;
    bool FEndedByItself = false;
};

void TMonitorFileChanged::Core::Execute() {
    std::string why;
    try {
        why = Watch();
    } catch (const std::exception& error) {
        // A failing back end ends the watcher like a failed read.
        why = error.what();
    } catch (...) {
        why = "unexpected error";
    }
    if (!why.empty() && !TerminateRequested()) ReportWatchState(why, true);
    std::unique_ptr<IChangeReader> reader;
    {
        std::lock_guard lock(FMutex);
        reader = std::move(FReader);
    }
    reader.reset(); // closed before the end is seen
    std::lock_guard lock(FMutex);
    FEnded = true;
    FEndedByItself = !FTerminated;
    FStateChanged.notify_all();
}

std::string TMonitorFileChanged::Core::Watch() {
    if (!FFileChanged || FPath.empty()) return "nothing to report to";
    std::string why;
    IChangeReader* opened = OpenReader(why);
    if (!opened) return why;
    IChangeReader& reader = *opened;
    if (!ReportWatchState(reader.Method(), false)) return FHandOverError;
    // Starts empty, so that the first event is never taken for a repeat.
    TFileChangedInfo last;
    std::vector<ChangeRecord> records;
    const bool finishedChanges = reader.ReportsFinishedChanges();
    while (reader.Read(records)) {
        if (TerminateRequested()) return {};
        if (!HandleBatch(records, last, finishedChanges)) return FHandOverError;
    }
    if (TerminateRequested()) return {};
    why = reader.FailureReason();
    return why.empty() ? "reading the changes failed" : why;
}

IChangeReader* TMonitorFileChanged::Core::OpenReader(std::string& why) {
    std::unique_ptr<IChangeReader> opened = FChangeWatching.OpenChangeReader(FPath, FFilter);
    if (!opened) {
        why = "the folder cannot be watched";
        return nullptr;
    }
    IChangeReader* reader = opened.get();
    {
        std::lock_guard lock(FMutex);
        if (FTerminated) return nullptr;
        FReader = std::move(opened);
    }
    // Published first, so that a stop request wakes a long set-up.
    if (reader->Prepare()) return reader;
    if (!TerminateRequested()) {
        why = reader->FailureReason();
        if (why.empty()) why = "setting up the watch failed";
    }
    return nullptr;
}

bool TMonitorFileChanged::Core::ReportWatchState(const std::string& text, bool ended) {
    if (!FWatchState) return true;
    return HandOver([this, &text, ended] { FWatchState(FOwner, text, ended); });
}

bool TMonitorFileChanged::Core::HandleBatch(const std::vector<ChangeRecord>& records,
                                            TFileChangedInfo& last, bool finishedChanges) {
    // Creations first: a file is marked best before the kernel writes its data, which it
    // does soon after a burst of new files. Each comes besides the file's other reports, so
    // the repeat rule never sees it.
    for (const ChangeRecord& record : records) {
        if (record.Action == fileaction::Created && FFileCreated &&
            !ReportChange(record.Name, FFileCreated))
            return false;
    }
    for (const ChangeRecord& record : records) {
        if (record.Action == fileaction::Created) continue;
        if (IsReportedAction(record.Action)) {
            // A finished change is never a repeat: dropping it could lose a file's last write.
            if (!finishedChanges && IsRepeat(record, last, FClock.Now())) continue;
            if (!ReportChange(record.Name, FFileChanged)) return false;
        } else if (record.Action == fileaction::None) {
            if (!ReportLostChanges()) return false;
        }
        // Every handled record counts, removals and old names included: a record of another
        // item between two of the same kind makes the second one no repeat.
        last = TFileChangedInfo{record.Name, record.Action, FClock.Now()};
    }
    return true;
}

bool TMonitorFileChanged::Core::ReportChange(const std::string& name,
                                             const TFileChangedEvent& handler) {
    FChangedFileName = name;
    return HandOver([this, &handler] { CallFileChanged(handler); });
}

bool TMonitorFileChanged::Core::ReportLostChanges() {
    if (!FChangesLost) return true;
    return HandOver([this] { FChangesLost(FOwner); });
}

void TMonitorFileChanged::Core::CallFileChanged(const TFileChangedEvent& handler) {
    handler(FOwner, FPath + FChangedFileName);
}

bool TMonitorFileChanged::Core::HandOver(const std::function<void()>& call) {
    {
        std::lock_guard lock(FMutex);
        if (FTerminated) return false;
        FInHandOver = true;
    }
    FStateChanged.notify_all(); // a destructor waiting on the UI thread serves it
    bool ok = true;
    try {
        FUiLoop.RunAndWait([this, &call] {
            if (!EnterHandler()) return;
            struct Leave {
                Core& C;
                ~Leave() { C.LeaveHandler(); }
            } leave{*this};
            call();
        });
    } catch (const std::exception& error) {
        // The handler's error is the UI's to report; here it ends the watcher, and the end
        // says why.
        FHandOverError = std::string("handling a change raised an error: ") + error.what();
        ok = false;
    } catch (...) {
        FHandOverError = "handling a change raised an error";
        ok = false;
    }
    std::lock_guard lock(FMutex);
    FInHandOver = false;
    return ok && !FTerminated;
}

bool TMonitorFileChanged::Core::EnterHandler() {
    std::lock_guard lock(FMutex);
    // After a stop request nothing more is reported: the owner is going away.
    if (FTerminated) return false;
    FInHandler = true;
    return true;
}

void TMonitorFileChanged::Core::LeaveHandler() {
    std::lock_guard lock(FMutex);
    FInHandler = false;
}

void TMonitorFileChanged::Core::Terminate() {
    std::lock_guard lock(FMutex);
    FTerminated = true;
    if (FReader) FReader->Wake();
    FStateChanged.notify_all();
}

bool TMonitorFileChanged::Core::TerminateRequested() const {
    std::lock_guard lock(FMutex);
    return FTerminated;
}

bool TMonitorFileChanged::Core::CalledFromOwnHandler() const {
    if (!FUiLoop.IsUiThread()) return false;
    std::lock_guard lock(FMutex);
    return FInHandler;
}

void TMonitorFileChanged::Core::WaitUntilEnded() {
    std::unique_lock lock(FMutex);
    WaitServingHandOver(FUiLoop, lock, FStateChanged, FEnded, FInHandOver);
}

TMonitorFileChanged::TMonitorFileChanged(Platform& platform, IUiLoop& uiLoop,
                                         const std::string& Path, TMonitorHandlers Handlers)
    : FCore(std::make_shared<Core>(*this, platform, uiLoop,
                                   WithDelimiter(Path, platform.FileSystem().PathDelimiter()),
                                   std::move(Handlers))) {
    FThread = std::thread([core = FCore] { core->Execute(); });
}

TMonitorFileChanged::~TMonitorFileChanged() {
    FCore->Terminate();
    if (FCore->CalledFromOwnHandler()) {
        // Joining here would wait for the handler further up this very stack. The thread
        // holds the shared state and, with the stop request made, touches nothing else.
        FThread.detach();
        return;
    }
    FCore->WaitUntilEnded();
    FThread.join();
}

const std::string& TMonitorFileChanged::Path() const {
    return FCore->FPath;
}

uint32_t TMonitorFileChanged::Filter() const {
    return FCore->FFilter;
}

void TMonitorFileChanged::Terminate() {
    FCore->Terminate();
}

bool TMonitorFileChanged::Ended() const {
    std::lock_guard lock(FCore->FMutex);
    return FCore->FEnded;
}

bool TMonitorFileChanged::EndedByItself() const {
    std::lock_guard lock(FCore->FMutex);
    return FCore->FEndedByItself;
}

} // namespace brimble
