#pragma once

// The view of the tests: records every label text, status text and tray image.

#include "engine/IMainView.h"

#include <array>
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
    void SetTrayIconImage(int index) override { trayImages.push_back(index); }
    void BringFormToFront(ViewWindow window) override { broughtToFront.push_back(window); }
    void BrowseForFolder(ViewWindow, const std::string&, std::string& folder) override {
        if (browseAnswer) folder = *browseAnswer;
    }

    const std::string& Label(StatLabel l) const { return labels[static_cast<size_t>(l)]; }

    std::array<std::string, StatLabelCount> labels{};
    std::string status;
    std::vector<std::string> statusHistory;
    int repaints = 0;
    std::vector<int> trayImages;
    std::vector<ViewWindow> broughtToFront;
    const std::string* browseAnswer = nullptr; // null: the user cancels
};

} // namespace brimble::test
