#include "base/FlagGuard.h"
#include "engine/TfrmOptions.h"
#include "engine/uMain.h"
#include "options/LanguageFile.h"
#include "options/OptionsStorage.h"

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

} // namespace

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
                  2);

    if (OnOptionsChanged) OnOptionsChanged();
    const TMessageTexts& texts = FMain.MessageTexts();
    if (WarnFileChanged) FMain.View().ShowMessage(texts.WarnFileChanged, MessageIcon::Warning);
    if (saved) return;

    if (SettingsInUserFolder()) {
        FMain.Log(texts.CannotSaveOptions, 1);
    } else {
        FMain.SetIniFileName(FMain.Folders().UserDataDir + fs.PathDelimiter() +
                             NameOf(FMain.Folders().IniFileName, fs.PathDelimiter()));
        SaveOptions(true);
    }
    // Read again: a language applied by the handler may have changed it.
    FMain.View().ShowMessage(FMain.MessageTexts().CannotSaveOptions, MessageIcon::Error);
}

} // namespace brimble
