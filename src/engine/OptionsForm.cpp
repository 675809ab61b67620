#include "base/FlagGuard.h"
#include "base/TextCase.h"
#include "engine/TfrmOptions.h"
#include "engine/uMain.h"
#include "options/LanguageFile.h"
#include "options/OptionsStorage.h"
#include "options/OptionsTable.h"

#include <array>
#include <mutex>
#include <utility>

namespace brimble {

namespace {

std::string FolderOf(const std::string& path, char delimiter) {
    const auto slash = path.find_last_of(delimiter);
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOf(const std::string& path, char delimiter) {
    const auto slash = path.find_last_of(delimiter);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "/data/" and "/data" name one folder.
std::string_view WithoutTrailingDelimiter(std::string_view path, char delimiter) {
    if (path.size() > 1 && path.back() == delimiter) path.remove_suffix(1);
    return path;
}

constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kWindowsWording = {{
    {"cbAutostart", "Autostart with Windows"},
    {"grpbxSmartCompress", "Smart NTFS compress"},
    {"WarnDecrypt", "Files will be decrypted! Are you sure?"},
}};

} // namespace

std::string ExcludeFolderName(std::string_view Entry) {
    return std::string(Entry.substr(0, Entry.find('=')));
}

bool IsWindowsWording(std::string_view Name, std::string_view Text) {
    for (const auto& [name, text] : kWindowsWording)
        if (SameText(name, Name)) return text == Text;
    return false;
}

TfrmOptions::TfrmOptions(TfrmBrimblemain& main) : FMain(main) {}

void TfrmOptions::LoadOptions(bool Visual) {
    const TFlagGuard loading(FOptionsLoading);
    FMain.LoadSettings();
    if (!Visual) return;
    FValues.LanguageEntries =
        ListLanguages(FMain.GetPlatform().FileSystem(), FMain.Folders().LanguagesDir);
    FillDialogValues(FMain.Options(), FValues);
}

bool TfrmOptions::SettingsInUserFolder() {
    IFileSystem& fs = FMain.GetPlatform().FileSystem();
    const std::string folder = FolderOf(FMain.Folders().IniFileName, fs.PathDelimiter());
    const std::string& user = FMain.Folders().UserDataDir;
    const IPathRules& rules = fs.PathRules();
    return rules.IsAtOrBelow(folder, user) && rules.IsAtOrBelow(user, folder);
}

void TfrmOptions::SaveOptions(bool WarnFileChanged) {
    IFileSystem& fs = FMain.GetPlatform().FileSystem();
    TakeDialogValues(FValues, FMain.Options());
    // One atomic replace: a failure leaves the file as it was, whatever the record holds.
    const OsResult saved = SaveOptionsToFile(fs, FMain.Folders().IniFileName, FMain.Options());
    if (!saved)
        FMain.Log("Cannot write settings file \"" + FMain.LogName(FMain.Folders().IniFileName) +
                      "\": " + fs.SysErrorMessage(saved.code()),
                  llTrace);

    if (OnOptionsChanged) OnOptionsChanged();
    const TMessageTexts& texts = FMain.MessageTexts();
    if (WarnFileChanged) FMain.View().ShowMessage(texts.WarnFileChanged, MessageIcon::Warning);
    if (saved) return;

    if (SettingsInUserFolder()) {
        FMain.Log(texts.CannotSaveOptions, llNotice);
    } else {
        FMain.SetIniFileName(FMain.Folders().UserDataDir + fs.PathDelimiter() +
                             NameOf(FMain.Folders().IniFileName, fs.PathDelimiter()));
        SaveOptions(true);
    }
    // Read again: a language applied by the handler may have changed it.
    FMain.View().ShowMessage(FMain.MessageTexts().CannotSaveOptions, MessageIcon::Error);
}

const TMessageTexts& TfrmOptions::MessageTexts() const {
    return FMain.MessageTexts();
}

void TfrmOptions::ResetToDefaults() {
    // The file is not deleted here: a Cancel after this must find the user's settings.
    TBrimbleOptions defaults;
    ApplyDefaults(defaults);
    const TFlagGuard loading(FOptionsLoading);
    FValues.LanguageEntries =
        ListLanguages(FMain.GetPlatform().FileSystem(), FMain.Folders().LanguagesDir);
    FillDialogValues(defaults, FValues);
}

void TfrmOptions::ClearExcludeFolders() {
    // The record's list stays: a scan or the background mode may read it before OK.
    FValues.ExcludeFolderEntries.clear();
}

bool TfrmOptions::FolderListed(const std::string& Name, std::size_t Except) const {
    const IFileSystem& fs = FMain.GetPlatform().FileSystem();
    const char delimiter = fs.PathDelimiter();
    const std::string_view wanted = WithoutTrailingDelimiter(Name, delimiter);
    const auto& entries = FValues.ExcludeFolderEntries;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i == Except) continue;
        const std::string name = ExcludeFolderName(entries[i]);
        if (fs.PathRules().Same(WithoutTrailingDelimiter(name, delimiter), wanted)) return true;
    }
    return false;
}

TFolderEdit TfrmOptions::AddExcludeFolder(const std::string& Folder) {
    if (Folder.empty() || Folder.find('=') != std::string::npos) return TFolderEdit::feUnusable;
    if (FolderListed(Folder, FValues.ExcludeFolderEntries.size())) return TFolderEdit::feDuplicate;
    FValues.ExcludeFolderEntries.push_back(Folder + "=");
    return TFolderEdit::feDone;
}

TFolderEdit TfrmOptions::RenameExcludeFolder(std::size_t Index, const std::string& Name) {
    auto& entries = FValues.ExcludeFolderEntries;
    if (Index >= entries.size()) return TFolderEdit::feUnusable;
    if (Name.empty() || Name.find('=') != std::string::npos) return TFolderEdit::feUnusable;
    if (FolderListed(Name, Index)) return TFolderEdit::feDuplicate;
    std::string& entry = entries[Index];
    const std::size_t equals = entry.find('=');
    entry = Name + (equals == std::string::npos ? std::string("=") : entry.substr(equals));
    return TFolderEdit::feDone;
}

void TfrmOptions::DeleteExcludeFolder(std::size_t Index) {
    auto& entries = FValues.ExcludeFolderEntries;
    if (Index < entries.size()) entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(Index));
}

std::string TfrmOptions::FolderEditRefusal(TFolderEdit Result, const std::string& Name) const {
    switch (Result) {
    case TFolderEdit::feDone:
        break;
    case TFolderEdit::feDuplicate:
        return "The folder \"" + Name + "\" is in the list already.";
    case TFolderEdit::feUnusable:
        return Name.empty()
                   ? "A folder needs a name."
                   : "A folder whose name holds \"=\" cannot be excluded: \"" + Name + "\".";
    }
    return {};
}

bool TfrmOptions::LanguageNeedsRestart(const std::string& Language) {
    IFileSystem& fs = FMain.GetPlatform().FileSystem();
    return !fs.FileExists(LanguageFileName(fs, FMain.Folders().LanguagesDir, Language));
}

std::size_t TfrmOptions::DelayedCompressFilesCnt() {
    std::size_t count = 0;
    for (const TListKind kind : {TListKind::lkDelayed, TListKind::lkLag})
        if (const TCompressList* list = FMain.CompressList(kind)) count += list->Count();
    return count;
}

std::string TfrmOptions::DelayedCompressFilesCntText() {
    return "(" + std::to_string(DelayedCompressFilesCnt()) + ")";
}

void TfrmOptions::TryCompressDelayed() {
    FMain.TryCompressDelayed(true);
}

std::string TfrmOptions::HelpTopic(std::string_view PageName) {
    return "options_" + std::string(PageName.size() > 2 ? PageName.substr(2) : std::string_view());
}

} // namespace brimble
