#pragma once

// The view of the tests: records every label text, status text and tray image.

#include "engine/IMainView.h"

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace brimble::test {

class RecordingView : public IMainView {
public:
    void SetStatLabel(StatLabel label, const std::string& text) override {
        labels[static_cast<size_t>(label)] = text;
    }
    void SetStatusText(const std::string& text) override {
        status = text;
        statusHistory.push_back(text);
    }
    void Repaint() override { ++repaints; }
    void SetNoDrivesText(const std::string& text) override { noDrives = text; }
    void SetTotalsEstimated(bool estimated) override { totalsEstimated = estimated; }
    void SetTrayIconImage(int index) override { trayImages.push_back(index); }
    void BringFormToFront(ViewWindow window) override {
        if (showFails) throw std::runtime_error("cannot show the window");
        broughtToFront.push_back(window);
    }
    void BrowseForFolder(ViewWindow, const std::string&, std::string& folder) override {
        if (browseAnswer) folder = *browseAnswer;
    }

    void SetControlEnabled(ScanControl control, bool enabled) override {
        enabledControls[static_cast<size_t>(control)] = enabled;
    }
    bool ControlEnabled(ScanControl control) override {
        return enabledControls[static_cast<size_t>(control)];
    }
    ScanArea SelectedScanArea() override { return scanArea; }
    std::string ScanPathText() override { return scanPath; }
    void SetScanPathText(const std::string& path) override { scanPath = path; }
    std::vector<TDriveItem> DriveItems() override { return driveItems; }
    void SetDriveItems(const std::vector<TDriveItem>& items) override {
        driveItems = items;
        ++driveItemRebuilds;
    }
    void ShowMessage(const std::string& text, MessageIcon icon) override {
        messages.push_back({text, icon});
    }
    void TranslateWindow(ViewWindow window, const TLanguageNode& element) override {
        if (translationFailsFor == window) throw std::runtime_error("no such control");
        translated.emplace_back(window, element.Name);
    }
    bool PlayCompletionSound() override {
        ++completionSounds;
        return ownCompletionSound;
    }

    const std::string& Label(StatLabel l) const { return labels[static_cast<size_t>(l)]; }
    bool Enabled(ScanControl c) const { return enabledControls[static_cast<size_t>(c)]; }

    std::array<std::string, StatLabelCount> labels{};
    std::string status;
    std::string noDrives;
    bool totalsEstimated = false;
    std::vector<std::string> statusHistory;
    int repaints = 0;
    std::vector<int> trayImages;
    std::vector<ViewWindow> broughtToFront;
    const std::string* browseAnswer = nullptr; // null: the user cancels
    // The window starts idle: tag 1 controls enabled, tag 2 controls disabled.
    std::array<bool, ScanControlCount> enabledControls = IdleControlStates();
    ScanArea scanArea = ScanArea::saDisks;
    std::string scanPath;
    std::vector<TDriveItem> driveItems;
    int driveItemRebuilds = 0;
    struct Message {
        std::string text;
        MessageIcon icon;
    };
    std::vector<Message> messages;
    int completionSounds = 0;
    std::vector<std::pair<ViewWindow, std::string>> translated; // window, element name
    std::optional<ViewWindow> translationFailsFor;
    bool showFails = false;
    bool ownCompletionSound = false; // true: the view sounds itself, the platform stays quiet
};

} // namespace brimble::test
