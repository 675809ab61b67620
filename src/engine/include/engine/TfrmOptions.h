#pragma once

// The options dialog without its widgets: it owns what the dialog shows, reads the
// settings file into the options record and writes the dialog's values back, moving the
// settings to the per-user folder when the program's folder cannot take them. The shell's
// dialog binds its controls to Values().
//
// Every button of the dialog changes only Values(): the options record and the settings
// file stay as they are until OK, so Cancel (or closing the dialog) loses nothing that a
// scan or the background mode reads meanwhile.

#include "options/LanguageFile.h"
#include "options/OptionsDialogValues.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace brimble {

class TfrmBrimblemain;

// The notice of a language chosen whose file is not there; no language file changes it.
inline constexpr const char* kRestartToApplyLanguage = "Please restart to apply language";

// What became of an edit of the excluded folders.
enum class TFolderEdit {
    feDone,
    feDuplicate, // another entry names that folder already
    feUnusable,  // empty, or holding "=", which ends the name of an entry
};

class TfrmOptions {
public:
    // Reads nothing yet: the program start calls LoadOptions(false) once.
    explicit TfrmOptions(TfrmBrimblemain& main);

    // Reads the settings file into the options record; with Visual the dialog's values
    // are filled from the record afterwards (the language entries listed anew). Showing
    // the dialog and Cancel call it with Visual.
    void LoadOptions(bool Visual);
    // Takes the dialog's values into the record and writes the settings file; then the
    // OnOptionsChanged handler runs. A failed write in the program's folder moves the
    // settings to the per-user folder and saves there (WarnFileChanged: say so).
    void SaveOptions(bool WarnFileChanged);

    // Run after every save attempt, the failed one included.
    std::function<void()> OnOptionsChanged;
    bool OptionsLoading() const { return FOptionsLoading; }
    TOptionsDialogValues& Values() { return FValues; }
    // The translatable texts of the dialog's questions.
    const TMessageTexts& MessageTexts() const;

    // --- the buttons, on Values() only ---
    // "Defaults": the values of a settings file without keys. OK writes them (keeping the
    // file's other lines); Cancel reads the file back.
    void ResetToDefaults();
    // "Clear": no excluded folder in the dialog.
    void ClearExcludeFolders();
    // "Add": a folder appended as an entry of its own, unless another entry names it.
    TFolderEdit AddExcludeFolder(const std::string& Folder);
    // An entry's name edited in place; its value stays.
    TFolderEdit RenameExcludeFolder(std::size_t Index, const std::string& Name);
    // "Del"; an index past the end does nothing.
    void DeleteExcludeFolder(std::size_t Index);
    // The message for a refused edit of Name; empty for feDone.
    std::string FolderEditRefusal(TFolderEdit Result, const std::string& Name) const;

    // Whether checking "Compress encrypted files" asks first: not while the dialog is filled.
    bool AsksBeforeDecrypt(bool Checked) const { return Checked && !FOptionsLoading; }
    // Choosing a language without a file ("English (default)") takes a restart.
    bool LanguageNeedsRestart(const std::string& Language);
    // The files that wait in the delayed and the lag list, and the caption "(%d)" of them.
    std::size_t DelayedCompressFilesCnt();
    std::string DelayedCompressFilesCntText();
    // "Try compress files now".
    void TryCompressDelayed();

    // The help topic of a page: "options_" and the page's name without its prefix "ts".
    static std::string HelpTopic(std::string_view PageName);

private:
    // The settings file lies in the per-user folder already: nowhere else to go.
    bool SettingsInUserFolder();
    // Whether an entry other than the one at Except names Name.
    bool FolderListed(const std::string& Name, std::size_t Except) const;

    TfrmBrimblemain& FMain;
    TOptionsDialogValues FValues;
    bool FOptionsLoading = false;
};

// The folder an entry of ExcludeFolders names: the text before its first "=", or the whole
// entry when it has none.
std::string ExcludeFolderName(std::string_view Entry);

// Whether Text is the described caption (or message) Name that names Windows or its file
// system: "Autostart with Windows", "Smart NTFS compress", and the question that files will be
// decrypted. A desktop that words these otherwise keeps its own wording when a language
// file brings the described one.
bool IsWindowsWording(std::string_view Name, std::string_view Text);

} // namespace brimble
