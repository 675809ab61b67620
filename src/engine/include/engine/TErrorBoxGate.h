#pragma once

// Which unexpected errors get a message box. A timer that fails at every tick would
// otherwise pile up boxes, each opened inside the one before while it waits for the user:
// an error text gets one box in the program's life, and none while another box of this
// kind is open. The log still gets every report.

#include <set>
#include <string>

namespace brimble {

class TErrorBoxGate {
public:
    // Held while a box is open.
    class TOpenBox {
    public:
        explicit TOpenBox(TErrorBoxGate& gate) : FGate(gate) { FGate.FOpen = true; }
        ~TOpenBox() { FGate.FOpen = false; }
        TOpenBox(const TOpenBox&) = delete;
        TOpenBox& operator=(const TOpenBox&) = delete;

    private:
        TErrorBoxGate& FGate;
    };

    // Whether Text is to be shown now; a yes counts as shown.
    bool Admit(const std::string& text) {
        if (FOpen) return false;
        return FShown.insert(text).second;
    }

private:
    std::set<std::string> FShown;
    bool FOpen = false;
};

} // namespace brimble
