#pragma once

// The part of a view that programs without a window share: the scan controls, the scan
// area and the drive check list are kept in memory, as a window would keep them, and
// everything that only paints is ignored.

#include "engine/IMainView.h"

#include <array>
#include <string>
#include <vector>

namespace brimble {

class THeadlessView : public IMainView {
public:
    void Repaint() override {}
    void SetTrayIconImage(int /*index*/) override {}
    void BringFormToFront(ViewWindow /*window*/) override {}
    void BrowseForFolder(ViewWindow /*owner*/, const std::string& /*title*/,
                         std::string& /*folder*/) override {}

    void SetControlEnabled(ScanControl control, bool enabled) override {
        FEnabled[static_cast<std::size_t>(control)] = enabled;
    }
    bool ControlEnabled(ScanControl control) override {
        return FEnabled[static_cast<std::size_t>(control)];
    }
    ScanArea SelectedScanArea() override { return FScanArea; }
    std::string ScanPathText() override { return FScanPath; }
    void SetScanPathText(const std::string& path) override { FScanPath = path; }
    std::vector<TDriveItem> DriveItems() override { return FDriveItems; }
    void SetDriveItems(const std::vector<TDriveItem>& items) override { FDriveItems = items; }

    // What a user would choose in the window.
    void SelectScanArea(ScanArea area) { FScanArea = area; }

private:
    // Idle: tag 1 controls enabled, tag 2 controls disabled.
    std::array<bool, ScanControlCount> FEnabled = IdleControlStates();
    ScanArea FScanArea = ScanArea::saDisks;
    std::string FScanPath;
    std::vector<TDriveItem> FDriveItems;
};

} // namespace brimble
