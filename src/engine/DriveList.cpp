// The qualifying drives in the window's check list, and the change watchers of smart
// compression that every refresh restarts.

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
    StopMonitoring();
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
    std::vector<std::string> roots;
    GetDriveLetters(FPlatform.Volumes(), roots);
    for (const std::string& root : roots)
        if (DriveOk(root, true)) FDriveLettersList.push_back({root, 0});
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

void TfrmBrimblemain::FinishDriveListRefresh() {
    SortByRoot(FDriveLettersList, FPlatform.FileSystem().PathRules());
    if (FOptions->SmartCompressMode != TSmartCompressMode::scmDisabled) StartMonitoring();
    Log("Drives list updated", 2);
}

void TfrmBrimblemain::StartMonitoring() {
    // No watcher runs during a manual scan (a refresh when the window is shown may come
    // then); the refresh at the scan's end starts them.
    if (ScanRunning()) return;
    for (const TDriveEntry& entry : FDriveLettersList) {
        if (!DriveOk(entry.Root, false)) continue;
        const std::string root = entry.Root;
        FMonitoringDrivesList.push_back(std::make_unique<TMonitorFileChanged>(
            FPlatform, FUiLoop, root,
            [this](TMonitorFileChanged& Sender, const std::string& FileName) {
                FileChanged(&Sender, FileName);
            },
            [this, root](TMonitorFileChanged&) {
                Log("Changes below \"" + LogName(root) + "\" were lost", 1);
            }));
    }
}

void TfrmBrimblemain::StopMonitoring() {
    // Taken out first: a watcher's end may serve UI messages, and one of them may refresh.
    std::vector<std::unique_ptr<TMonitorFileChanged>> watchers =
        std::exchange(FMonitoringDrivesList, {});
    // All are asked before any is waited for, so that they wind down together. A watcher
    // that ended by itself is not asked: it only goes with its handle.
    for (const auto& watcher : watchers)
        if (!watcher->EndedByItself()) watcher->Terminate();
    watchers.clear();
}

} // namespace brimble
