#include "threads/TMonitorFileChanged.h"

#include "threads/HandOverWait.h"

#include <chrono>
#include <condition_variable>
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
         TFileChangedEvent onFileChanged, TChangesLostEvent onChangesLost)
        : FOwner(owner), FChangeWatching(platform.ChangeWatching()), FClock(platform.Clock()),
          FUiLoop(uiLoop), FPath(std::move(path)), FFileChanged(std::move(onFileChanged)),
          FChangesLost(std::move(onChangesLost)) {}

    void Execute();
    void Watch();
    // False when the watcher is to end: a hand-over failed or a stop request came.
    bool HandleBatch(const std::vector<ChangeRecord>& records, TFileChangedInfo& last);
    bool ReportChange(const std::string& name);
    bool ReportLostChanges();
    void CallFileChanged();
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
    try {
        Watch();
    } catch (...) {
        // A failing back end ends the watcher like a failed read.
    }
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

void TMonitorFileChanged::Core::Watch() {
    if (!FFileChanged || FPath.empty()) return;
    std::unique_ptr<IChangeReader> opened = FChangeWatching.OpenChangeReader(FPath, FFilter);
    if (!opened) return;
    IChangeReader& reader = *opened;
    {
        std::lock_guard lock(FMutex);
        if (FTerminated) return;
        FReader = std::move(opened);
    }
    // Starts empty, so that the first event is never taken for a repeat.
    TFileChangedInfo last;
    std::vector<ChangeRecord> records;
    while (reader.Read(records) && !TerminateRequested()) {
        if (!HandleBatch(records, last)) return;
    }
}

bool TMonitorFileChanged::Core::HandleBatch(const std::vector<ChangeRecord>& records,
                                            TFileChangedInfo& last) {
    for (const ChangeRecord& record : records) {
        if (IsReportedAction(record.Action)) {
            if (IsRepeat(record, last, FClock.Now())) continue;
            if (!ReportChange(record.Name)) return false;
        } else if (record.Action == fileaction::None) {
            if (!ReportLostChanges()) return false;
        }
        // Every handled record counts, removals and old names included: a record of another
        // item between two of the same kind makes the second one no repeat.
        last = TFileChangedInfo{record.Name, record.Action, FClock.Now()};
    }
    return true;
}

bool TMonitorFileChanged::Core::ReportChange(const std::string& name) {
    FChangedFileName = name;
    return HandOver([this] { CallFileChanged(); });
}

bool TMonitorFileChanged::Core::ReportLostChanges() {
    if (!FChangesLost) return true;
    return HandOver([this] { FChangesLost(FOwner); });
}

void TMonitorFileChanged::Core::CallFileChanged() {
    FFileChanged(FOwner, FPath + FChangedFileName);
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
    } catch (...) {
        // The handler's error is the UI's to report; here it only ends the watcher.
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
                                         const std::string& Path, TFileChangedEvent OnFileChanged,
                                         TChangesLostEvent OnChangesLost)
    : FCore(std::make_shared<Core>(*this, platform, uiLoop,
                                   WithDelimiter(Path, platform.FileSystem().PathDelimiter()),
                                   std::move(OnFileChanged), std::move(OnChangesLost))) {
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
