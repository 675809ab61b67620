#pragma once

// Language files: one XML file per language in the languages folder, named after the
// language's display name. A file is read into a neutral description that the windows bind
// to their own controls; the engine itself only takes the message texts from it.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brimble {

class IFileSystem;

// The translatable texts shown in message boxes, process-wide, English until a language
// file replaces them.
struct TMessageTexts {
    std::string SendErrorLog = "Unhandled error occured! Please, send log file to developer!";
    std::string IncorrectPath = "Incorrect path specified";
    std::string ClearExcludeFolders = "Are you sure to clear exclude folders list?";
    std::string ResetToDefaults = "Reset all values to defaults?";
    std::string WarnDecrypt = "Files will be decrypted! Are you sure?";
    std::string ErrorSendingMessage = "Cannot send report. Please, paste a text from clipboard "
                                      "here and send mail to developer.";
    std::string CannotSaveOptions = "Cannot save options!";
    std::string WarnFileChanged = "Settings are stored in the user folder. Please manually "
                                  "delete the Brimble.ini from the program's folder!";
    std::string ScanInProgress = "Scan is already in progress";
    // The tray program's own, after the nine above.
    std::string NoTrayArea = "No notification area (tray) was found on this desktop: Brimble "
                             "keeps its window open instead of hiding in the tray.";
    std::string QuitWithoutTray = "There is no notification area on this desktop, so Brimble "
                                  "cannot go on in the background once its window is "
                                  "closed. Quit Brimble?";
    std::string ScanCompleteTitle = "Brimble: scan complete";
    // An empty drive list: the heading and the hint above one line per local file system
    // and why it does not qualify, and the status of a Go with nothing ticked.
    std::string NoDrivesHeading = "No volume of this computer can compress single files.";
    std::string NoDrivesHint = "Files are compressed on btrfs volumes. To compress a folder on "
                               "one, choose \"Scan path\".";
    std::string NothingToScan = "Nothing to scan: tick a volume in the list or choose \"Scan "
                                "path\".";

    // The view of the files that wait: why a file is on a list, and how a volume is watched.
    std::string WaitForRetry = "waits for the next try";
    std::string WaitForIdle = "changed; waits for the computer to be idle";
    std::string WaitForDelay = "changed lately; compressed once the compression delay has passed";
    std::string WaitNever = "never compressed";
    std::string WatchStarting = "watching starts";
    std::string NotWatchedDisabled = "not watched: smart compress is disabled";
    std::string NotWatchedDuringScan = "not watched while a scan runs";
    std::string NotWatchedRemovable = "not watched: removable drive";
    // %d files, %s bytes saved.
    std::string BackgroundDone = "since the start: %d files compressed, %s saved";

    // An estimate run of the window: what its totals are, and a folder it cannot estimate.
    std::string EstimateTotals = "Total (estimate)";
    std::string EstimateComplete = "Estimate complete: no file was changed. Go compresses.";
    std::string EstimateCompleteTitle = "Brimble: estimate complete";
    std::string CannotEstimate = "Brimble cannot estimate there:"; // and the reason

    static constexpr std::size_t kCount = 28;
    // The names a language file knows the texts by, in the order of their registration.
    static const std::array<std::string_view, kCount>& Names();
    // The text registered under Name (letter case ignored), or none.
    const std::string* Find(std::string_view name) const;
    // Sets the text registered under Name; false (and nothing changed) for an unknown name.
    bool Set(std::string_view name, std::string value);
};

// The windows a language file can translate, in the order they are created and translated.
inline constexpr std::array<std::string_view, 5> kLanguageWindows = {
    "frmBrimblemain", "frmOptions", "frmAboutBox", "frmErrorReport", "frmWaitingFiles"};
inline constexpr std::string_view kDefaultLanguage = "English (default)";

// One element of a window's part of a language file, as written: a component, a property
// holding a string list, a collection or an object, or an entry of one of those. Which of
// them it is only the window knows; the accessors give each reading.
struct TLanguageNode {
    std::string Name;
    // Attribute name and value, in file order; every "\n" of a value is already CR LF.
    std::vector<std::pair<std::string, std::string>> Attributes;
    std::vector<TLanguageNode> Children;
    // The text of a CDATA section that is the first child: it replaces a whole string list.
    std::optional<std::string> ListText;

    // The first attribute / child element of that name, letter case ignored.
    const std::string* Attribute(std::string_view name) const;
    const TLanguageNode* Child(std::string_view name) const;
    // Read as a string list: the children carrying a valid Index and a Value, in file order.
    std::vector<std::pair<int, std::string>> ListEntries() const;
    // Read as a collection: the children carrying a valid Index, in file order.
    std::vector<std::pair<int, const TLanguageNode*>> CollectionItems() const;
};

// What a language file says: the element of each window found in it, and the message texts
// of the options dialog's Variables element (name and value, in file order).
struct TLanguageFile {
    std::vector<TLanguageNode> Windows;
    std::vector<std::pair<std::string, std::string>> Variables;

    // The element of the window of that name, letter case ignored; none leaves it as it is.
    const TLanguageNode* Window(std::string_view name) const;
};

// Files larger than this are not read: no real language file comes near it.
inline constexpr int64_t kMaxLanguageFileSize = 16 * 1024 * 1024;
// Elements nested deeper than this below a window name nothing a window has; they are skipped.
inline constexpr int kMaxLanguageNesting = 32;

// False in a build that has no XML reader (the Windows cross build): every language file
// then reads as none and the program keeps its English texts.
bool LanguageFilesReadable();
// Reads a language file from XML text. None when the text is no well-formed XML, or when
// this build cannot read language files.
std::optional<TLanguageFile> ParseLanguageFile(std::string_view xml);
// Reads a language file. None when it is missing, unreadable, too large or no XML.
std::optional<TLanguageFile> ReadLanguageFile(IFileSystem& fs, const std::string& path);

// Sets every message text the file names (letter case ignored); unknown names are skipped.
void ApplyLanguageVariables(const TLanguageFile& file, TMessageTexts& texts);

// The display name of a language file's name: without ".xml", the first letter (a to z) in
// upper case and the other ASCII letters in lower case. None when the name does not end in
// ".xml" (letter case ignored).
std::optional<std::string> LanguageDisplayName(std::string_view fileName);
// The display names of the language files in LanguagesDir, in listing order, with
// "English (default)" first when no English file is present.
std::vector<std::string> ListLanguages(IFileSystem& fs, const std::string& languagesDir);
// The path of a language's file: LanguagesDir, the display name and ".xml"; where no file has
// that exact name, the file whose name matches it with letter case ignored.
std::string LanguageFileName(IFileSystem& fs, const std::string& languagesDir,
                             const std::string& language);

} // namespace brimble
