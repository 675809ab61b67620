// drive_scan MOUNT...: a manual scan in drive mode, as the window would start it, over the
// mounted volumes whose drive items start with one of the given mount points (every other
// drive item unticked). Prints the files walked; used by bench/drive_scan.sh.

#include "app/ProgramStart.h"
#include "engine/THeadlessView.h"
#include "engine/uMain.h"
#include "threads/StdUiLoop.h"

#include <iostream>
#include <string>
#include <vector>

namespace {

class TQuietView final : public brimble::THeadlessView {
public:
    void SetStatLabel(brimble::StatLabel /*label*/, const std::string& /*text*/) override {}
    void SetStatusText(const std::string& /*text*/) override {}
    void ShowMessage(const std::string& text, brimble::MessageIcon /*icon*/) override {
        std::cerr << "drive_scan: " << text << '\n';
    }
};

bool StartsWithAny(const std::string& text, const std::vector<std::string>& prefixes) {
    for (const std::string& p : prefixes)
        if (text.starts_with(p + " - ")) return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    using namespace brimble;
    const std::vector<std::string> mounts(argv + 1, argv + argc);
    if (mounts.empty()) {
        std::cerr << "usage: drive_scan MOUNT...\n";
        return 2;
    }
    THeadlessStart start = StartHeadless("drive_scan", {});
    if (start.ExitCode != kExitDone) return start.ExitCode;
    Platform& platform = *start.OwnedPlatform;
    StdUiLoop loop(platform.Clock(), TClockKind::Real);
    TQuietView view;
    TfrmBrimblemain engine(platform, loop, view, start.Folders);
    engine.LoadSettingsAndLists();
    engine.RefreshDriveList();

    std::vector<TDriveItem> items = view.DriveItems();
    int ticked = 0;
    for (TDriveItem& item : items) {
        item.Checked = StartsWithAny(item.Text, mounts);
        ticked += item.Checked ? 1 : 0;
    }
    if (ticked != static_cast<int>(mounts.size())) {
        std::cerr << "drive_scan: " << ticked << " drive item(s) match, expected " << mounts.size()
                  << '\n';
        return 1;
    }
    view.SetDriveItems(items);
    view.SelectScanArea(ScanArea::saDisks);
    engine.rgrpScanAreaClick();
    engine.spdbtnGoClick();
    loop.RunUntil([&] { return !engine.ScanRunning(); });
    engine.SaveLists();
    std::cout << "Total files processed: " << engine.Stats().FilesOnDisk_Count << '\n';
    return 0;
}
