#pragma once

// The main window's view for a terminal: the status line of each file is printed when
// someone watches, and the Total group is printed at the end as the window shows it.

#include "engine/THeadlessView.h"

#include <array>
#include <ostream>
#include <string>

namespace brimble {

class TConsoleView final : public THeadlessView {
public:
    // Terminal: Out is one, so each file's status line is printed and the end of a run
    // rings its bell.
    TConsoleView(std::ostream& out, bool terminal) : FOut(out), FTerminal(terminal) {}

    void SetStatLabel(StatLabel label, const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    // On standard error, where a terminal user sees it.
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    // The terminal's bell, rung after the totals; silence elsewhere, never a desktop sound
    // from a command.
    bool PlayCompletionSound() override;

    const std::string& Label(StatLabel label) const;
    // The Total group: each label with its count and size, or its one value, line by line;
    // then the bell of a completed run. Estimate marks the rows that are predictions.
    void PrintTotals(std::ostream& out, bool estimate = false) const;

private:
    std::ostream& FOut;
    bool FTerminal;
    bool FBellPending = false;
    // What the window's value labels show before the first run.
    std::array<std::string, StatLabelCount> FLabels{"?", "?", "?", "?", "?", "?", "?", "?"};
};

} // namespace brimble
