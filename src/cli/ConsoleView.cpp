#include "ConsoleView.h"

#include "base/VisibleText.h"

#include <algorithm>
#include <cstddef>
#include <iostream>
#include <string_view>

namespace brimble {

namespace {

struct TTotalRow {
    std::string_view Caption;
    const std::string* Count; // null on the rows of one value
    const std::string* Size;
    bool Predicted; // an estimate predicts it; the files seen are counted
};

// The count texts end in a blank, which only the window's column hides.
std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

std::string PadRight(std::string_view text, std::size_t width) {
    std::string padded(text);
    if (padded.size() < width) padded.append(width - padded.size(), ' ');
    return padded;
}

std::string PadLeft(std::string_view text, std::size_t width) {
    std::string padded(width > text.size() ? width - text.size() : 0, ' ');
    padded.append(text);
    return padded;
}

} // namespace

void TConsoleView::SetStatLabel(StatLabel label, const std::string& text) {
    FLabels[static_cast<std::size_t>(label)] = text;
}

void TConsoleView::SetStatusText(const std::string& text) {
    // The status line is a file name: whatever it holds must not drive the terminal.
    if (FTerminal && !text.empty()) FOut << VisibleText(text) << '\n' << std::flush;
}

const std::string& TConsoleView::Label(StatLabel label) const {
    return FLabels[static_cast<std::size_t>(label)];
}

void TConsoleView::PrintTotals(std::ostream& out, bool estimate) const {
    using enum StatLabel;
    const TTotalRow rows[] = {
        {"Total files processed:", &Label(FilesOnDiskT_Count), &Label(FilesOnDiskT_Size), false},
        {"Files to be compressed:", &Label(FilesToBeCompressedT_Count),
         &Label(FilesToBeCompressedT_Size), true},
        {"Compressed files:", &Label(CompressedFilesT_Count), &Label(CompressedFilesT_Size), true},
        {"Compression ratio:", nullptr, &Label(CompressedFilesT_Percent), true},
        {"Reclaimed free space share:", nullptr, &Label(PreservedSpaceT_Size), true},
    };
    std::size_t captionWidth = 0;
    std::size_t countWidth = 0;
    for (const TTotalRow& row : rows) {
        captionWidth = std::max(captionWidth, row.Caption.size());
        if (row.Count) countWidth = std::max(countWidth, TrimRight(*row.Count).size());
    }
    // Two columns as in the window: counts, then sizes; the ratios stand in the size column.
    for (const TTotalRow& row : rows) {
        const std::string_view count = row.Count ? TrimRight(*row.Count) : std::string_view();
        out << PadRight(row.Caption, captionWidth + 1) << PadLeft(count, countWidth) << "  "
            << TrimRight(*row.Size) << (estimate && row.Predicted ? "  (estimate)" : "") << '\n';
    }
    if (FBellPending) out << '\a';
    out << std::flush;
}

bool TConsoleView::PlayCompletionSound() {
    FBellPending = FTerminal;
    return true;
}

void TConsoleView::ShowMessage(const std::string& text, MessageIcon /*icon*/) {
    std::cerr << VisibleText(text) << '\n';
}

} // namespace brimble
