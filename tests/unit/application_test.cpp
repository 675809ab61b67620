// The program's start and end and the application of the options, on the sim platform:
// what the first start shows, how autostart, language, timers and priority follow the
// options, where a save goes when a folder refuses it, and a shutdown that nothing outlives.

#include "engine/TBrimbleApplication.h"
#include "platform/sim/SimPlatform.h"
#include "support/RecordingView.h"
#include "threads/StdUiLoop.h"
#include "threads/TMountWatchThread.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace brimble::test {
namespace {

const std::string ProgramDir = "C:\\Program Files\\Brimble";
const std::string ProgramIni = ProgramDir + "\\Brimble.ini";
const std::string DataDir = "C:\\Users\\u\\AppData\\Local\\Brimble";
const std::string UserIni = DataDir + "\\Brimble.ini";
const std::string LogPath = DataDir + "\\Brimble.log";
const std::string LanguagesDir = ProgramDir + "\\Languages\\";

class Application : public ::testing::Test {
protected:
    void SetUp() override {
        sim.AddVolume("C:\\", DriveType::Fixed, "NTFS", 4096, "System");
        sim.SetLocalAppDataDir("C:\\Users\\u\\AppData\\Local");
        sim.AddFile(ProgramDir + "\\Brimble.exe", 2'000'000);
        sim.SetCommandLineArguments({"-d"}); // the log at level 1
    }

    TBrimbleApplication& Start(TProgramRole role = TProgramRole::Tray) {
        folders = ComputeProgramFolders(sim);
        app = std::make_unique<TBrimbleApplication>(sim, loop, view, folders, role);
        app->OptionsDialog().OnOptionsChanged = [this] {
            ++optionsChanged;
            app->Main().OptionsChanged();
        };
        return *app;
    }
    TfrmBrimblemain& Main() { return app->Main(); }

    void Settings(const std::string& path, const std::string& lines) {
        sim.AddFileWithContent(path, "[GENERAL]\r\n" + lines);
    }
    std::string Log() { return sim.Content(LogPath); }
    std::vector<MessageIcon> Boxes() {
        std::vector<MessageIcon> icons;
        for (const auto& m : view.messages)
            icons.push_back(m.icon);
        return icons;
    }

    sim::SimPlatform sim;
    StdUiLoop loop{sim};
    RecordingView view;
    TProgramFolders folders;
    std::unique_ptr<TBrimbleApplication> app;
    int optionsChanged = 0;
};

TEST_F(Application, TheFirstApplicationShowsTheWindowOnceUnlessItStartsHidden) {
    Start();
    EXPECT_EQ(view.broughtToFront, std::vector<ViewWindow>{ViewWindow::Main});
    app->OptionsDialog().SaveOptions(false);
    EXPECT_EQ(view.broughtToFront.size(), 1u);

    view.broughtToFront.clear();
    app.reset();
    Settings(UserIni, "StartHidden=1\r\n");
    Start();
    EXPECT_TRUE(view.broughtToFront.empty());
}

TEST_F(Application, TheListsArePurgedWithTheStoredDelay) {
    sim.AddFile("C:\\Data\\a.txt", 100);
    sim.AddFileWithContent(DataDir + "\\DelayedCompress.lst", "C:\\Data\\a.txt=46024\r\n");
    Settings(UserIni, "MoveToNeverCompressDelay=5\r\n"); // three days old: not yet due
    Start();
    ASSERT_TRUE(Main().CompressList(TListKind::lkDelayed));
    EXPECT_EQ(Main().CompressList(TListKind::lkDelayed)->Count(), 1u);
    EXPECT_NE(Log().find("Program started"), std::string::npos);
}

TEST_F(Application, TheAutostartEntryFollowsTheOption) {
    struct Case {
        bool option;
        std::optional<std::string> before;
        std::optional<std::string> after;
    };
    const std::string self = ProgramDir + "\\Brimble.exe";
    const Case cases[] = {
        {true, std::nullopt, self},
        {true, "D:\\other.exe", "D:\\other.exe"}, // present: left as it is
        {false, "D:\\other.exe", std::nullopt},
        {false, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.option ? "on" : "off") + ", before " + c.before.value_or("-"));
        sim.SetAutostart("Brimble", c.before.value_or(""), c.before.has_value());
        Settings(UserIni, std::string("Autostart=") + (c.option ? "1" : "0") + "\r\n");
        app.reset();
        Start();
        EXPECT_EQ(sim.AutostartEntry("Brimble"), c.after);
    }
    // The service has no window and leaves the tray program's entry alone.
    app.reset();
    view.broughtToFront.clear();
    sim.SetAutostart("Brimble", "", false);
    Settings(UserIni, "Autostart=1\r\nSmartCompressMode=1\r\n");
    Start(TProgramRole::Watch);
    EXPECT_FALSE(sim.AutostartEntry("Brimble"));
    EXPECT_TRUE(view.broughtToFront.empty());
}

TEST_F(Application, TimersAndPriorityFollowTheOptions) {
    struct Case {
        int mode;
        bool incessant;
        bool delayed;
    };
    for (const Case c : {Case{0, false, false}, Case{1, true, false}, Case{2, true, true}}) {
        SCOPED_TRACE(c.mode);
        app.reset();
        Settings(UserIni, "SmartCompressMode=" + std::to_string(c.mode) +
                              "\r\nIdleTime=5\r\nCompressAgainDelay=1\r\nPriority=2\r\n");
        Start();
        EXPECT_EQ(Main().tmrIncessant().Enabled(), c.incessant);
        EXPECT_EQ(Main().tmrDelayedCompress().Enabled(), c.delayed);
        // Every second, not every IdleTime milliseconds.
        EXPECT_EQ(Main().tmrIncessant().Interval(), 1000u);
        EXPECT_EQ(Main().tmrDelayedCompress().Interval(), 30000u);
        EXPECT_EQ(sim.ProcessPriority(), 2);
        EXPECT_EQ(sim.ThreadPriority(), 2);
    }
}

TEST_F(Application, ALanguageFileTranslatesTheMessagesAndEveryWindowItNames) {
    if (!LanguageFilesReadable()) GTEST_SKIP() << "this build cannot read language files";
    sim.AddFileWithContent(LanguagesDir + "Deutsch.xml", R"(<?xml version="1.0"?>
<Language>
  <frmBrimblemain Caption="Brimble"/>
  <frmOptions Caption="Einstellungen">
    <Variables>
      <Item Name="cannotsaveoptions" Value="Speichern\nfehlgeschlagen"/>
      <Item Name="NoSuchText" Value="x"/>
    </Variables>
  </frmOptions>
  <frmAboutBox Caption="Info"/>
</Language>)");
    Settings(UserIni, "Language=Deutsch\r\n");
    view.translationFailsFor = ViewWindow::Options;
    Start();
    EXPECT_EQ(Main().MessageTexts().CannotSaveOptions, "Speichern\r\nfehlgeschlagen");
    EXPECT_EQ(Main().MessageTexts().ScanInProgress, TMessageTexts{}.ScanInProgress);
    // The window that failed is logged; the windows after it are still translated.
    EXPECT_NE(Log().find("Translation error: no such control"), std::string::npos);
    const std::vector<std::pair<ViewWindow, std::string>> expected = {
        {ViewWindow::Main, "frmBrimblemain"}, {ViewWindow::About, "frmAboutBox"}};
    EXPECT_EQ(view.translated, expected);

    // The translated text is the one of the next failed save, in the box and in the log.
    sim.RemoveFile(UserIni);
    sim.AddDirectory(UserIni); // in the way of the settings file
    app->OptionsDialog().SaveOptions(false);
    ASSERT_FALSE(view.messages.empty());
    EXPECT_EQ(view.messages.back().text, "Speichern\r\nfehlgeschlagen");
    EXPECT_NE(Log().find("Speichern"), std::string::npos);
}

TEST_F(Application, NoLanguageChosenTranslatesNothing) {
    sim.AddFileWithContent(LanguagesDir + "English.xml", "<frmBrimblemain Caption=\"B\"/>");
    for (const char* language : {"", "English (default)"}) {
        app.reset();
        Settings(UserIni, std::string("Language=") + language + "\r\n");
        Start();
        EXPECT_TRUE(view.translated.empty()) << language;
    }
}

TEST_F(Application, AFailedSaveMovesTheSettingsToTheUserFolder) {
    struct Case {
        const char* name;
        bool besideProgram;
        bool programFolderRefuses;
        bool userFolderRefuses;
        std::vector<MessageIcon> boxes;
        int handlerRuns;
        std::string iniAfter;
        bool logged;
    };
    using enum MessageIcon;
    const Case cases[] = {
        {"beside the program, refused there",
         true,
         true,
         false,
         {Warning, Error},
         2,
         UserIni,
         false},
        {"in the user folder, refused there", false, false, true, {Error}, 1, UserIni, true},
        // The error box once per attempt, after the warning of the second.
        {"refused in both", true, true, true, {Warning, Error, Error}, 2, UserIni, true},
        {"beside the program, written", true, false, false, {}, 1, ProgramIni, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        app.reset();
        sim.SetReadOnlyFolder(ProgramDir, false);
        for (const std::string& file : {ProgramIni, UserIni, LogPath})
            if (sim.Exists(file)) sim.RemoveFile(file);
        if (c.besideProgram) Settings(ProgramIni, "IdleTime=7\r\n");
        Start();
        sim.SetReadOnlyFolder(ProgramDir, c.programFolderRefuses);
        // A folder in the way: the log beside it can still be written.
        if (c.userFolderRefuses) sim.AddDirectory(UserIni);
        view.messages.clear();
        optionsChanged = 0;

        app->OptionsDialog().LoadOptions(true);
        app->OptionsDialog().Values().CompressionDelayIndex = 7; // "3 min"
        app->OptionsDialog().SaveOptions(false);

        EXPECT_EQ(Boxes(), c.boxes);
        EXPECT_EQ(optionsChanged, c.handlerRuns);
        EXPECT_EQ(Main().Folders().IniFileName, c.iniAfter);
        EXPECT_EQ(Log().find("Cannot save options!") != std::string::npos, c.logged);
        EXPECT_EQ(Main().Options().CompressionDelay, 180);
        if (!c.userFolderRefuses) {
            const std::string written = sim.Content(c.iniAfter);
            EXPECT_NE(written.find("CompressionDelay=7\r\n"), std::string::npos);
            EXPECT_NE(written.find("IdleTime=" + std::string(c.besideProgram ? "7" : "1")),
                      std::string::npos);
        }
    }
}

TEST_F(Application, ExitSavesTheListsOnceAndNothingRunsAfterIt) {
    Settings(UserIni, "SmartCompressMode=2\r\n");
    sim.AddFile("C:\\Data\\a.txt", 100'000);
    Start();
    Main().AddToList(TListKind::lkDelayed, "C:\\Data\\a.txt");
    app->ProgramExit();
    EXPECT_NE(sim.Content(DataDir + "\\DelayedCompress.lst").find("C:\\Data\\a.txt="),
              std::string::npos);
    EXPECT_FALSE(Main().tmrIncessant().Enabled());
    EXPECT_FALSE(Main().tmrDelayedCompress().Enabled());
    EXPECT_EQ(Main().MonitoringDriveCount(), 0u);

    // Late timers, reports, a device change and a second Exit find nothing to do.
    Main().tmrIncessantTimer();
    Main().tmrDelayedCompressTimer();
    Main().FileChanged(nullptr, "C:\\Data\\b.txt");
    Main().DeviceChanged();
    Main().OptionsChanged();
    Main().TryCompressDelayed(true);
    app->ProgramExit();
    app.reset();
    const std::string log = Log();
    const auto last = log.rfind("Program terminated");
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(log.find("Program terminated"), last);
    EXPECT_EQ(log.find("\n", last), log.size() - 1); // the run's last entry
}

TEST_F(Application, ExitDuringADelayedRunWaitsForTheRunToEnd) {
    Settings(UserIni, "SmartCompressMode=2\r\n");
    for (const char* name : {"C:\\Data\\a.txt", "C:\\Data\\b.txt", "C:\\Data\\c.txt"})
        sim.AddFile(name, 100'000);
    Start();
    for (const char* name : {"C:\\Data\\a.txt", "C:\\Data\\b.txt", "C:\\Data\\c.txt"})
        Main().AddToList(TListKind::lkDelayed, name);
    // The tray menu's Exit arrives while the run lets messages through.
    loop.Post([this] { app->ProgramExit(); });
    Main().TryCompressDelayed(true);
    EXPECT_TRUE(Main().ShuttingDown());
    EXPECT_EQ(Main().ProcessingDriveIdx(), pdiIdle);
    EXPECT_NE(Log().find("Program terminated"), std::string::npos);
}

TEST_F(Application, ExitDuringAScanStopsTheWalkAndSavesTheLists) {
    for (int i = 0; i < 50; ++i)
        sim.AddFile("C:\\Data\\f" + std::to_string(i) + ".txt", 100'000);
    Start();
    ASSERT_EQ(Main().GoScanPath("C:\\Data"), TScanStart::ssStarted);
    loop.RunUntil([&] { return Main().Stats().FilesOnDisk_Count >= 3; });
    app->ProgramExit();
    EXPECT_FALSE(Main().ScanPathThread());
    EXPECT_FALSE(Main().ScanRunning());
    EXPECT_TRUE(sim.Exists(DataDir + "\\NeverCompress.lst"));
    const int64_t handled = Main().Stats().FilesOnDisk_Count;
    while (loop.ProcessOneMessage()) {
    }
    EXPECT_EQ(Main().Stats().FilesOnDisk_Count, handled);
}

TEST_F(Application, DrivesThatComeAndGoRefreshTheListOnlyWhileNoScanRuns) {
    Start();
    const std::size_t before = Main().DriveLettersList().size();
    sim.AddVolume("E:\\", DriveType::Fixed, "NTFS", 4096, "Data");
    // A folder scan of the scan command, held by Pause: its end refreshes nothing itself.
    sim.AddFile("C:\\Data\\a.txt", 100);
    ASSERT_EQ(Main().GoScanPath("C:\\Data"), TScanStart::ssStarted);
    Main().spdbtnPauseClick();
    Main().DeviceChanged();
    EXPECT_EQ(Main().DriveLettersList().size(), before);
    Main().spdbtnStopClick();
    loop.RunUntil([&] { return !Main().ScanRunning(); });
    Main().DeviceChanged();
    EXPECT_EQ(Main().DriveLettersList().size(), before + 1);
}

TEST_F(Application, ASecondInstanceIsRefused) {
    TStartCheck first = CheckStartPreconditions(sim);
    ASSERT_EQ(first.ExitCode, 0);
    ASSERT_TRUE(first.Lock);
    const TStartCheck second = CheckStartPreconditions(sim);
    EXPECT_EQ(second.ExitCode, kExitAlreadyRunning);
    EXPECT_EQ(second.Message, "Brimble is already running.");
    first.Lock.reset();
    EXPECT_EQ(CheckStartPreconditions(sim).ExitCode, 0);
}

// A mount watch that reports changes on request and wakes like the platform's.
class FakeMountWatch final : public IMountWatch {
public:
    bool WaitForChange() override {
        std::unique_lock lock(FMutex);
        FChanged.wait(lock, [&] { return FPending > 0 || FWoken; });
        if (FWoken) return false;
        --FPending;
        return true;
    }
    void Wake() override {
        const std::lock_guard lock(FMutex);
        FWoken = true;
        FChanged.notify_all();
    }
    void Change() {
        const std::lock_guard lock(FMutex);
        ++FPending;
        FChanged.notify_all();
    }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    int FPending = 0;
    bool FWoken = false;
};

TEST(MountWatchThread, PostsEachChangeAndDropsThoseLeftWhenItIsGone) {
    sim::SimPlatform sim;
    StdUiLoop loop{sim};
    auto owned = std::make_unique<FakeMountWatch>();
    FakeMountWatch& watch = *owned;
    int changes = 0;
    auto thread = std::make_unique<TMountWatchThread>(std::move(owned), loop, [&] { ++changes; });
    watch.Change();
    loop.RunUntil([&] { return changes == 1; });
    // A change posted but not handled before the thread ends is dropped, not run on a
    // handler that may be gone.
    watch.Change();
    thread.reset();
    while (loop.ProcessOneMessage()) {
    }
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(TMountWatchThread(nullptr, loop, [] {}).Watching());
}

// An error while the windows are made is the tray program's to report; the start goes on,
// with the watchers and the mount watch, and the lists are still saved at the end.
TEST_F(Application, AnErrorWhileTheWindowsAreMadeIsReportedAndTheStartGoesOn) {
    view.showFails = true;
    folders = ComputeProgramFolders(sim);
    EXPECT_THROW(TBrimbleApplication(sim, loop, view, folders, TProgramRole::Tray),
                 std::runtime_error);

    std::vector<std::string> reported;
    app = std::make_unique<TBrimbleApplication>(
        sim, loop, view, folders, TProgramRole::Tray,
        [&](TfrmBrimblemain&, const std::string& text) { reported.push_back(text); });
    EXPECT_EQ(reported, std::vector<std::string>{"cannot show the window"});
    EXPECT_FALSE(app->Main().DriveLettersList().empty()); // the options were applied after all
    app->Main().AddToList(TListKind::lkNever, "kept.bin");
    app.reset();
    EXPECT_NE(sim.Content(DataDir + "\\NeverCompress.lst").find("kept.bin"), std::string::npos);
}

} // namespace
} // namespace brimble::test
