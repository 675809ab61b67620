// The options dialog's buttons without widgets, on the sim platform: what Defaults, Clear
// and the folder edits change before OK (only the dialog's values), what OK and Cancel do
// afterwards, and the small rules the dialog's widgets follow.

#include "engine/TBrimbleApplication.h"
#include "platform/sim/SimPlatform.h"
#include "support/RecordingView.h"
#include "threads/StdUiLoop.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace brimble::test {
namespace {

const std::string DataDir = "C:\\Users\\u\\AppData\\Local\\Brimble";
const std::string UserIni = DataDir + "\\Brimble.ini";
const std::string LanguagesDir = "C:\\Program Files\\Brimble\\Languages\\";
const std::vector<std::string> kUserFolders = {"D:\\Cache=", "%tmp%="};

class OptionsForm : public ::testing::Test {
protected:
    void SetUp() override {
        sim.AddVolume("C:\\", DriveType::Fixed, "NTFS", 4096, "System");
        sim.AddVolume("D:\\", DriveType::Fixed, "NTFS", 4096, "Data");
        sim.SetLocalAppDataDir("C:\\Users\\u\\AppData\\Local");
        sim.AddFile("C:\\Program Files\\Brimble\\Brimble.exe", 2'000'000);
        // A line of another section, which no save may lose.
        sim.AddFileWithContent(UserIni, kUserFile);
        folders = ComputeProgramFolders(sim);
        app = std::make_unique<TBrimbleApplication>(sim, loop, view, folders, TProgramRole::Tray);
        Dialog().LoadOptions(true); // the dialog is shown
    }

    TfrmOptions& Dialog() { return app->OptionsDialog(); }
    TfrmBrimblemain& Main() { return app->Main(); }
    TOptionsDialogValues& Values() { return Dialog().Values(); }

    const std::string kUserFile = "[GENERAL]\r\nIdleTime=7\r\nExcludeFolders=D:\\Cache=\t%tmp%=\r\n"
                                  "[Other]\r\nKept=1\r\n";
    sim::SimPlatform sim;
    StdUiLoop loop{sim};
    RecordingView view;
    TProgramFolders folders;
    std::unique_ptr<TBrimbleApplication> app;
};

TEST_F(OptionsForm, DefaultsShowTheDefaultsAndCancelKeepsTheUsersSettings) {
    Dialog().ResetToDefaults();
    EXPECT_EQ(Values().IdleTime, 1);
    EXPECT_EQ(Values().ExcludeFolderEntries.size(), kDefaultExcludeFolders.size());
    // Nothing but the dialog changed: the file, and the record the engine reads meanwhile.
    EXPECT_EQ(sim.Content(UserIni), kUserFile);
    EXPECT_EQ(Main().Options().IdleTime, 7);
    EXPECT_EQ(Main().Options().ExcludeFolders, kUserFolders);

    Dialog().LoadOptions(true); // Cancel
    EXPECT_EQ(Values().IdleTime, 7);
    EXPECT_EQ(Values().ExcludeFolderEntries, kUserFolders);
    EXPECT_EQ(sim.Content(UserIni), kUserFile);
}

TEST_F(OptionsForm, DefaultsThenOkWriteTheDefaultsAndKeepTheFilesOtherLines) {
    Dialog().ResetToDefaults();
    Dialog().SaveOptions(false);
    EXPECT_EQ(Main().Options().IdleTime, 1);
    EXPECT_EQ(Main().Options().ExcludeFolders.size(), kDefaultExcludeFolders.size());
    const std::string written = sim.Content(UserIni);
    EXPECT_NE(written.find("IdleTime=1\r\n"), std::string::npos);
    EXPECT_NE(written.find("[Other]\r\nKept=1"), std::string::npos);
}

TEST_F(OptionsForm, ClearEmptiesOnlyTheDialogUntilOk) {
    Dialog().ClearExcludeFolders();
    EXPECT_TRUE(Values().ExcludeFolderEntries.empty());
    // A scan started now still leaves the user's folders out.
    EXPECT_EQ(Main().Options().ExcludeFolders, kUserFolders);
    EXPECT_TRUE(Main().CoveringExcludedFolder("D:\\Cache\\pages"));

    Dialog().LoadOptions(true); // Cancel
    EXPECT_EQ(Values().ExcludeFolderEntries, kUserFolders);

    Dialog().ClearExcludeFolders();
    Dialog().SaveOptions(false); // OK
    EXPECT_TRUE(Main().Options().ExcludeFolders.empty());
    EXPECT_FALSE(Main().CoveringExcludedFolder("D:\\Cache\\pages"));
    EXPECT_NE(sim.Content(UserIni).find("ExcludeFolders=\r\n"), std::string::npos);
}

TEST_F(OptionsForm, FolderEditsRefuseNamesTheListHoldsAndNamesThatCannotBeStored) {
    struct Case {
        std::string folder;
        TFolderEdit result;
    };
    // The sim compares names without letter case, as its volumes do.
    const std::vector<Case> adds = {
        {"D:\\Cache", TFolderEdit::feDuplicate},
        {"d:\\cache\\", TFolderEdit::feDuplicate},
        {"%TMP%", TFolderEdit::feDuplicate},
        {"D:\\a=b", TFolderEdit::feUnusable},
        {"", TFolderEdit::feUnusable},
        {"D:\\Cache\\Old", TFolderEdit::feDone},
        {"D:\\Cache\\Old", TFolderEdit::feDuplicate},
    };
    for (const Case& c : adds)
        EXPECT_EQ(Dialog().AddExcludeFolder(c.folder), c.result) << c.folder;
    EXPECT_EQ(Values().ExcludeFolderEntries.back(), "D:\\Cache\\Old=");
    EXPECT_NE(Dialog().FolderEditRefusal(TFolderEdit::feDuplicate, "D:\\Cache").find("D:\\Cache"),
              std::string::npos);

    // In place: the value part stays; another entry's name is refused, the entry's own is not.
    Values().ExcludeFolderEntries[1] = "%tmp%=note";
    EXPECT_EQ(Dialog().RenameExcludeFolder(1, "D:\\Cache"), TFolderEdit::feDuplicate);
    EXPECT_EQ(Dialog().RenameExcludeFolder(1, "%TMP%"), TFolderEdit::feDone);
    EXPECT_EQ(Dialog().RenameExcludeFolder(1, "D:\\Temp"), TFolderEdit::feDone);
    EXPECT_EQ(Values().ExcludeFolderEntries[1], "D:\\Temp=note");
    EXPECT_EQ(Dialog().RenameExcludeFolder(9, "D:\\X"), TFolderEdit::feUnusable);

    Dialog().DeleteExcludeFolder(9);
    Dialog().DeleteExcludeFolder(0);
    EXPECT_EQ(Values().ExcludeFolderEntries,
              (std::vector<std::string>{"D:\\Temp=note", "D:\\Cache\\Old="}));
    EXPECT_EQ(Main().Options().ExcludeFolders, kUserFolders);
}

TEST_F(OptionsForm, TheCounterAddsTheDelayedAndTheLagList) {
    EXPECT_EQ(Dialog().DelayedCompressFilesCntText(), "(0)");
    Main().AddToList(TListKind::lkDelayed, "D:\\a.txt");
    Main().AddToList(TListKind::lkDelayed, "D:\\b.txt");
    Main().AddToList(TListKind::lkLag, "D:\\c.txt");
    EXPECT_EQ(Dialog().DelayedCompressFilesCntText(), "(3)");
}

TEST_F(OptionsForm, LanguagesWithoutAFileTakeARestart) {
    sim.AddFileWithContent(LanguagesDir + "german.xml", "<Language/>");
    EXPECT_FALSE(Dialog().LanguageNeedsRestart("German"));
    EXPECT_TRUE(Dialog().LanguageNeedsRestart("English (default)"));
    EXPECT_TRUE(Dialog().LanguageNeedsRestart(""));
}

TEST(OptionsFormRules, HelpTopicsAndTheWordingThatNamesWindows) {
    EXPECT_EQ(TfrmOptions::HelpTopic("tsMain"), "options_Main");
    EXPECT_EQ(TfrmOptions::HelpTopic("tsFiltering"), "options_Filtering");
    EXPECT_TRUE(IsWindowsWording("cbAutostart", "Autostart with Windows"));
    EXPECT_TRUE(IsWindowsWording("GRPBXSMARTCOMPRESS", "Smart NTFS compress"));
    EXPECT_TRUE(IsWindowsWording("WarnDecrypt", TMessageTexts().WarnDecrypt));
    // A translation, or a control that names no system, keeps its text.
    EXPECT_FALSE(IsWindowsWording("cbAutostart", "Mit dem System starten"));
    EXPECT_FALSE(IsWindowsWording("cbBeepOnComplete", "Beep on complete"));
}

} // namespace
} // namespace brimble::test
