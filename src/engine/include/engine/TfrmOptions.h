#pragma once

// The options dialog without its widgets: it owns what the dialog shows, reads the
// settings file into the options record and writes the dialog's values back, moving the
// settings to the per-user folder when the program's folder cannot take them. The shell's
// dialog binds its controls to Values().

#include "options/OptionsDialogValues.h"

#include <functional>
#include <string>

namespace brimble {

class TfrmBrimblemain;

class TfrmOptions {
public:
    // Reads nothing yet: the program start calls LoadOptions(false) once.
    explicit TfrmOptions(TfrmBrimblemain& main);

    // Reads the settings file into the options record; with Visual the dialog's values
    // are filled from the record afterwards (the language entries listed anew).
    void LoadOptions(bool Visual);
    // Takes the dialog's values into the record and writes the settings file; then the
    // OnOptionsChanged handler runs. A failed write in the program's folder moves the
    // settings to the per-user folder and saves there (WarnFileChanged: say so).
    void SaveOptions(bool WarnFileChanged);

    // Run after every save attempt, the failed one included.
    std::function<void()> OnOptionsChanged;
    bool OptionsLoading() const { return FOptionsLoading; }
    TOptionsDialogValues& Values() { return FValues; }

private:
    // The settings file lies in the per-user folder already: nowhere else to go.
    bool SettingsInUserFolder();

    TfrmBrimblemain& FMain;
    TOptionsDialogValues FValues;
    bool FOptionsLoading = false;
};

} // namespace brimble
