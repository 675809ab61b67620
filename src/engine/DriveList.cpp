// The qualifying drives in the window's check list, and the change watchers of smart
// compression that every refresh brings in line with them.

#include "engine/VolumeQueries.h"
#include "engine/uMain.h"

#include <algorithm>
#include <utility>

namespace brimble {

namespace {

// The item text shows the root without its delimiter ("C:"); a Linux root "/" keeps it,
// or nothing would be left.
std::string DriveItemText(const std::string& root, char delimiter, const std::string& label) {
    std::string shown = root;
    if (shown.size() > 1 && shown.back() == delimiter) shown.pop_back();
    return shown + " - " + label;
}

// Equal only with the same roots, byte for byte, in the same order: a root that changed
// only its letter case still rebuilds the items (their ticks survive the rebuild).
bool SameRoots(const std::vector<TDriveEntry>& a, const std::vector<TDriveEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const TDriveEntry& x, const TDriveEntry& y) { return x.Root == y.Root; });
}

// In the platform's order of paths: without letter case on drive letters, by bytes on Linux.
void SortByRoot(std::vector<TDriveEntry>& list, const IPathRules& rules) {
    std::stable_sort(list.begin(), list.end(), [&](const TDriveEntry& a, const TDriveEntry& b) {
        return rules.Compare(a.Root, b.Root) < 0;
    });
}

} // namespace

void TfrmBrimblemain::RefreshDriveList() {
    if (FShuttingDown) return; // no watcher may start after the shutdown stopped them
    // The watchers are not stopped here: a drive that stays keeps its watcher, which on a
    // large volume would otherwise crawl its tree again and miss changes meanwhile.
    try {
        std::vector<TDriveEntry> previous = FDriveLettersList;
        const std::vector<TDriveItem> items = FView.DriveItems();
        for (std::size_t i = 0; i < previous.size(); ++i)
            previous[i].Tick = i < items.size() && items[i].Checked ? 1 : 0;

        FillDriveLettersList();
        if (!SameRoots(FDriveLettersList, previous)) RebuildDriveItems(previous);
    } catch (...) {
        // The watchers must run again whatever the rebuild met.
        FinishDriveListRefresh();
        throw;
    }
    FinishDriveListRefresh();
}

void TfrmBrimblemain::FillDriveLettersList() {
    FDriveLettersList.clear();
    FDriveRefusals.clear();
    std::vector<std::string> roots;
    GetDriveLetters(FPlatform.Volumes(), roots);
    const char delimiter = FPlatform.FileSystem().PathDelimiter();
    for (const std::string& root : roots) {
        std::string drive = root;
        if (drive.empty() || drive.back() != delimiter) drive += delimiter;
        const TDriveVerdict verdict = JudgeDrive(FPlatform.Volumes(), drive, true);
        if (verdict.Ok)
            FDriveLettersList.push_back({root, 0});
        else if (!verdict.Reason.empty())
            FDriveRefusals.push_back(RefusalLine(drive, delimiter, verdict));
    }
    // Sorted before the items are built, so that they stay parallel whatever order the
    // platform gives.
    SortByRoot(FDriveLettersList, FPlatform.FileSystem().PathRules());
}

void TfrmBrimblemain::RebuildDriveItems(const std::vector<TDriveEntry>& Previous) {
    const char delimiter = FPlatform.FileSystem().PathDelimiter();
    const IPathRules& rules = FPlatform.FileSystem().PathRules();
    std::vector<TDriveItem> items;
    items.reserve(FDriveLettersList.size());
    for (const TDriveEntry& entry : FDriveLettersList) {
        const auto known =
            std::find_if(Previous.begin(), Previous.end(),
                         [&](const TDriveEntry& p) { return rules.Same(p.Root, entry.Root); });
        // A drive that was not listed before is ticked.
        const bool checked = known == Previous.end() || known->Tick != 0;
        items.push_back(
            {DriveItemText(entry.Root, delimiter, GetVolumeLabel(FPlatform.Volumes(), entry.Root)),
             checked});
    }
    FView.SetDriveItems(items);
}

std::string TfrmBrimblemain::NoDrivesText() const {
    if (!FDriveLettersList.empty()) return {};
    std::string text = FMessageTexts.NoDrivesHeading + " " + FMessageTexts.NoDrivesHint + "\n";
    for (const std::string& line : FDriveRefusals)
        text += "\n" + line;
    return text;
}

void TfrmBrimblemain::FinishDriveListRefresh() {
    SortByRoot(FDriveLettersList, FPlatform.FileSystem().PathRules());
    FView.SetNoDrivesText(NoDrivesText());
    StartMonitoring();
    Log("Drives list updated", llTrace);
}

void TfrmBrimblemain::StartMonitoring() {
    // No watcher runs during a manual scan (a refresh when the window is shown may come
    // then); the refresh at the scan's end starts them.
    if (FOptions->SmartCompressMode == TSmartCompressMode::scmDisabled || ScanRunning()) {
        StopMonitoring();
        return;
    }
    IFileSystem& fs = FPlatform.FileSystem();
    std::vector<std::string> wanted;
    for (const TDriveEntry& entry : FDriveLettersList)
        if (DriveOk(entry.Root, false)) wanted.push_back(entry.Root);

    // Taken out first: a watcher's end may serve UI messages, and one of them may refresh.
    std::vector<TMonitoredDrive> running = std::exchange(FMonitoringDrivesList, {});
    std::vector<TMonitoredDrive> leaving;
    for (TMonitoredDrive& drive : running) {
        const auto stays = std::find_if(wanted.begin(), wanted.end(), [&](const std::string& r) {
            return fs.PathRules().Same(r, drive.Root);
        });
        // Another volume mounted at the same place is another drive.
        if (stays != wanted.end() && !drive.Watcher->EndedByItself() &&
            fs.FileSystemIdOf(drive.Root) == drive.VolumeId) {
            wanted.erase(stays);
            FMonitoringDrivesList.push_back(std::move(drive));
        } else {
            leaving.push_back(std::move(drive));
        }
    }
    for (const TMonitoredDrive& drive : leaving)
        drive.Watcher->Terminate(); // all asked before any is waited for
    leaving.clear();
    for (const std::string& root : wanted)
        StartWatcher(root);
    // In drive order, as a refresh from scratch lists them.
    std::stable_sort(FMonitoringDrivesList.begin(), FMonitoringDrivesList.end(),
                     [&](const TMonitoredDrive& a, const TMonitoredDrive& b) {
                         return fs.PathRules().Compare(a.Root, b.Root) < 0;
                     });
}

void TfrmBrimblemain::StartWatcher(const std::string& Root) {
    if (!FDiagnosticsHookup.Connected) {
        // What the back end gives up on while a watcher sets up (a folder it cannot watch,
        // the limit of watches) must reach the log from the first watcher on.
        FPlatform.SetDiagnosticsSink(
            [this](const std::string& message, int level) { Log(message, level); });
        FDiagnosticsHookup.Connected = &FPlatform;
    }
    TMonitorHandlers handlers;
    handlers.OnFileChanged = [this](TMonitorFileChanged& Sender, const std::string& FileName) {
        FileChanged(&Sender, FileName);
    };
    handlers.OnFileCreated = [this](TMonitorFileChanged& Sender, const std::string& FileName) {
        FileCreated(&Sender, FileName);
    };
    handlers.OnChangesLost = [this, Root](TMonitorFileChanged&) {
        Log("Changes below \"" + LogName(Root) + "\" were lost", llNotice);
    };
    handlers.OnWatchState = [this, Root](TMonitorFileChanged&, const std::string& Text,
                                         bool Ended) {
        FWatchStates[Root] = {Text, Ended};
        if (Ended)
            MonitoringReport("Change watching of \"" + LogName(Root) + "\" ended: " + Text +
                                 "; it starts again with the next refresh of the drive list",
                             llNotice);
        else
            MonitoringReport("Watching \"" + LogName(Root) + "\" (" + Text + ")", llTrace);
    };
    const std::optional<uint64_t> volume = FPlatform.FileSystem().FileSystemIdOf(Root);
    FMonitoringDrivesList.push_back(
        {Root, volume,
         std::make_unique<TMonitorFileChanged>(FPlatform, FUiLoop, Root, std::move(handlers))});
}

std::vector<TfrmBrimblemain::TVolumeWatch> TfrmBrimblemain::VolumeWatches() const {
    std::vector<TVolumeWatch> volumes;
    const auto totals = [this](TVolumeWatch& volume) {
        if (const auto found = FBackgroundTotals.find(volume.Root);
            found != FBackgroundTotals.end()) {
            volume.FilesCompressed = found->second.Files;
            volume.BytesSaved = found->second.Saved;
        }
    };
    for (const TMonitoredDrive& drive : FMonitoringDrivesList) {
        TVolumeWatch& volume = volumes.emplace_back();
        volume.Root = drive.Root;
        const auto state = FWatchStates.find(drive.Root);
        volume.Watched = state == FWatchStates.end() || !state->second.Ended;
        volume.How = state == FWatchStates.end() ? FMessageTexts.WatchStarting : state->second.Text;
        totals(volume);
    }
    const std::string& why = FOptions->SmartCompressMode == TSmartCompressMode::scmDisabled
                                 ? FMessageTexts.NotWatchedDisabled
                             : ScanRunning() ? FMessageTexts.NotWatchedDuringScan
                                             : FMessageTexts.NotWatchedRemovable;
    for (const TDriveEntry& entry : FDriveLettersList) {
        const bool listed =
            std::any_of(volumes.begin(), volumes.end(), [&](const TVolumeWatch& volume) {
                return FPlatform.FileSystem().PathRules().Same(volume.Root, entry.Root);
            });
        if (listed) continue;
        TVolumeWatch& volume = volumes.emplace_back();
        volume.Root = entry.Root;
        volume.How = why;
        totals(volume);
    }
    for (const std::string& refusal : FDriveRefusals)
        volumes.push_back({{}, refusal, false, 0, 0});
    return volumes;
}

void TfrmBrimblemain::MonitoringReport(const std::string& Line, int LogLev) {
    Log(Line, LogLev);
    if (FMonitoringReport) FMonitoringReport(Line);
}

void TfrmBrimblemain::StopMonitoring() {
    // Taken out first: a watcher's end may serve UI messages, and one of them may refresh.
    std::vector<TMonitoredDrive> watchers = std::exchange(FMonitoringDrivesList, {});
    // All are asked before any is waited for, so that they wind down together; a crawl
    // ends at its next folder. A watcher that ended by itself is not asked: it only goes
    // with its handle.
    for (const TMonitoredDrive& drive : watchers)
        if (!drive.Watcher->EndedByItself()) drive.Watcher->Terminate();
    watchers.clear();
}

} // namespace brimble
