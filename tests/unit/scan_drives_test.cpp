#include "engine/DriveTicks.h"
#include "options/OptionsTable.h"
#include "support/EngineFixture.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace brimble::test {
namespace {

using enum ScanControl;

// The recording view with a hook into the status line, which the engine sets at the start
// of every file it handles: the test acts there as a user would in the middle of a file.
class HookedView : public RecordingView {
public:
    void SetStatusText(const std::string& text) override {
        RecordingView::SetStatusText(text);
        if (!text.empty()) handled.push_back(text);
        if (onStatus && !text.empty()) onStatus(text);
    }
    void ShowMessage(const std::string& text, MessageIcon icon) override {
        RecordingView::ShowMessage(text, icon);
        if (onMessage) onMessage(); // the user acts while the box is open
    }
    std::function<void(const std::string&)> onStatus;
    std::function<void()> onMessage;
    std::vector<std::string> handled;
};

// Fixed NTFS drives C:, D: and E:, smart compression on (so the drive list starts watchers),
// C: and D: ticked.
class ScanControls : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        sim.SetCommandLineArguments({"-d:2"}); // every line logged
        sim.AddVolume("D:\\", DriveType::Fixed, "NTFS", 4096, "Data");
        sim.AddVolume("E:\\", DriveType::Fixed, "NTFS", 4096, "Backup");
        sim.AddFile("C:\\Work\\c1.txt", 100'000);
        sim.AddFile("C:\\Work\\c2.txt", 100'000);
        sim.AddFile("D:\\d1.txt", 100'000);
        sim.AddFile("E:\\e1.txt", 100'000);
        folders = ComputeProgramFolders(sim);
        engine = std::make_unique<TfrmBrimblemain>(sim, loop, hooked, folders);
        ApplyDefaults(engine->Options());
        engine->Options().SmartCompressMode = TSmartCompressMode::scmOnIdle;
        engine->Options().BeepOnComplete = true;
        engine->RefreshDriveList();
        engine->rgrpScanAreaClick(); // the window's controls as it opens in "Scan disks"
        Tick({"C:\\", "D:\\"});
    }

    // The engine holds the view, which goes before the fixture's members.
    void TearDown() override { engine.reset(); }

    // Ticks the items of exactly these drive roots, as the user would.
    void Tick(const std::set<std::string>& roots) {
        const auto& drives = engine->DriveLettersList();
        hooked.driveItems.resize(drives.size());
        for (std::size_t i = 0; i < drives.size(); ++i)
            hooked.driveItems[i].Checked = roots.contains(drives[i].Root);
    }

    bool RunUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        bool late = false;
        loop.RunUntil([&] {
            late = std::chrono::steady_clock::now() > deadline;
            return late || done();
        });
        return !late;
    }

    // The drive letters of the handled files, one per drive in the order first met.
    std::string DrivesWalked() const {
        std::string letters;
        for (const std::string& name : hooked.handled)
            if (letters.empty() || letters.back() != name[0]) letters += name[0];
        return letters;
    }
    bool DriveListed(const std::string& root) const {
        for (const TDriveEntry& drive : engine->DriveLettersList())
            if (drive.Root == root) return true;
        return false;
    }
    int Count(const std::string& what) {
        const std::string text = sim.Content(engine->LogFile().FileName());
        int n = 0;
        for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
            ++n;
        return n;
    }
    // Go, Pause, Stop, the drive list and the folder controls as the window shows them.
    std::vector<bool> Controls() const {
        return {hooked.Enabled(spdbtnGo),         hooked.Enabled(spdbtnPause),
                hooked.Enabled(spdbtnStop),       hooked.Enabled(rgrpScanArea),
                hooked.Enabled(chklstbDrives),    hooked.Enabled(edScanPath),
                hooked.Enabled(sbtnBrowseFolder), hooked.Enabled(btnTryCompressDelayed)};
    }
    const std::vector<bool> kIdleDisks{true, false, false, true, true, false, false, true};
    const std::vector<bool> kIdlePath{true, false, false, true, false, true, true, true};
    const std::vector<bool> kRunningDisks{false, true, true, false, false, false, false, false};

    HookedView hooked;
};

// Runs over the drive list, which the refresh builds.
class ScanDrives : public ScanControls {
protected:
    void SetUp() override {
        ScanControls::SetUp();
        if (engine->DriveLettersList().empty()) GTEST_SKIP() << "the drive list is not built";
    }
};

TEST(DriveTicks, FirstLastAndNextFollowTheTicks) {
    struct Case {
        std::vector<int> ticks;
        int32_t first, last;
        std::vector<int32_t> walk; // first, then next until none
    };
    const Case cases[] = {
        {{}, -1, -1, {}},          {{0, 0, 0}, -1, -1, {}},
        {{1, 0, 1}, 0, 2, {0, 2}}, {{0, 1, 1, 0}, 1, 2, {1, 2}},
        {{0, 0, 1}, 2, 2, {2}},    {{1, 1, 1}, 0, 2, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        std::vector<TDriveEntry> drives;
        for (int tick : c.ticks)
            drives.push_back({"X:\\", tick});
        SCOPED_TRACE(testing::PrintToString(c.ticks));
        EXPECT_EQ(FirstTickedDrive(drives), c.first);
        EXPECT_EQ(LastTickedDrive(drives), c.last);
        std::vector<int32_t> walk;
        for (int32_t i = FirstTickedDrive(drives); i >= 0; i = NextTickedDrive(drives, i))
            walk.push_back(i);
        EXPECT_EQ(walk, c.walk);
        EXPECT_EQ(NextTickedDrive(drives, pdiIdle), pdiIdle);
        EXPECT_EQ(NextTickedDrive(drives, pdiFolderScan), pdiFolderScan);
    }
}

TEST_F(ScanDrives, TheTickedDrivesAreWalkedInOrderAndTheRunEndsOnce) {
    ASSERT_EQ(hooked.driveItems.size(), 3u) << "the drive list holds C:, D: and E:";
    ASSERT_EQ(engine->MonitoringDriveCount(), 3u);
    std::vector<bool> whileRunning;
    std::size_t watchersWhileRunning = 99;
    hooked.onStatus = [&](const std::string& text) {
        if (text != "D:\\d1.txt") return;
        whileRunning = Controls();
        watchersWhileRunning = engine->MonitoringDriveCount();
        sim.AddVolume("F:\\", DriveType::Fixed, "NTFS"); // met by the refresh at the end
    };
    engine->spdbtnGoClick();
    EXPECT_EQ(Controls(), kRunningDisks);
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ(DrivesWalked(), "CD");
    EXPECT_TRUE(sim.IsCompressed("D:\\d1.txt"));
    EXPECT_FALSE(sim.IsCompressed("E:\\e1.txt"));
    EXPECT_EQ(whileRunning, kRunningDisks);
    EXPECT_EQ(watchersWhileRunning, 0u); // no background compression during a manual run
    EXPECT_EQ(Count("\tDisk cluster size: 4096"), 2);

    EXPECT_EQ(engine->ProcessingDriveIdx(), pdiIdle);
    EXPECT_EQ(Controls(), kIdleDisks);
    EXPECT_EQ(sim.CompletionSounds(), 1);
    EXPECT_EQ(Count("\tScan complete!"), 1);
    EXPECT_TRUE(hooked.messages.empty());
    // The refresh at the end found the new drive and started the watchers again.
    EXPECT_TRUE(DriveListed("F:\\"));
    EXPECT_EQ(engine->MonitoringDriveCount(), 4u);
}

TEST_F(ScanDrives, GoWithNothingTickedRefreshesTheListAndStaysIdle) {
    Tick({});
    sim.AddVolume("F:\\", DriveType::Fixed, "NTFS");
    engine->spdbtnGoClick();

    EXPECT_EQ(engine->ProcessingDriveIdx(), pdiIdle);
    EXPECT_FALSE(engine->ScanRunning());
    EXPECT_EQ(engine->ScanPathThread(), nullptr);
    EXPECT_EQ(Controls(), kIdleDisks);
    EXPECT_TRUE(hooked.messages.empty());
    EXPECT_EQ(sim.CompletionSounds(), 0);
    EXPECT_TRUE(DriveListed("F:\\"));
}

TEST_F(ScanDrives, StopDuringTheFirstDriveEndsTheRunOnce) {
    hooked.onStatus = [&](const std::string& text) {
        if (text[0] == 'C') engine->spdbtnStopClick();
    };
    engine->spdbtnGoClick();
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ(DrivesWalked(), "C");
    EXPECT_FALSE(sim.IsCompressed("D:\\d1.txt"));
    EXPECT_EQ(engine->ProcessingDriveIdx(), pdiIdle);
    EXPECT_EQ(Controls(), kIdleDisks);
    EXPECT_EQ(sim.CompletionSounds(), 1);
    EXPECT_EQ(Count("\tScan complete!"), 1);
    EXPECT_EQ(engine->MonitoringDriveCount(), 3u);
}

// A refresh while a run goes on (the window shown again from the tray) rebuilds the drive
// list, here with a drive sorted before the others: the run still walks what was ticked at
// Go and ends.
TEST_F(ScanDrives, ARefreshDuringTheRunDoesNotChangeWhatItWalks) {
    hooked.onStatus = [&](const std::string& text) {
        if (text != "C:\\Work\\c1.txt") return;
        sim.AddVolume("B:\\", DriveType::Fixed, "NTFS");
        engine->RefreshDriveList();
        EXPECT_EQ(engine->MonitoringDriveCount(), 0u); // no watcher while the scan runs
    };
    sim.SetListingOrder("C:\\Work\\", {"c1.txt", "c2.txt"});
    engine->spdbtnGoClick();
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ(DrivesWalked(), "CD");
    EXPECT_FALSE(sim.IsCompressed("E:\\e1.txt"));
    EXPECT_EQ(engine->ProcessingDriveIdx(), pdiIdle);
    EXPECT_EQ(Count("\tScan complete!"), 1);
}

TEST_F(ScanControls, PauseHoldsTheWalkAndGoResumesItWithTheTotalsKept) {
    hooked.scanArea = ScanArea::saPath;
    hooked.scanPath = "C:\\Work";
    sim.SetListingOrder("C:\\Work\\", {"c1.txt", "c2.txt"});
    hooked.onStatus = [&](const std::string& text) {
        if (text == "C:\\Work\\c1.txt") engine->spdbtnPauseClick();
    };
    engine->spdbtnGoClick();
    ASSERT_TRUE(RunUntil([&] { return engine->Stats().FilesOnDisk_Count == 1; }));
    ASSERT_TRUE(engine->ScanPathThread()->Paused());
    EXPECT_EQ(engine->ProcessingDriveIdx(), pdiFolderScan);
    EXPECT_TRUE(hooked.Enabled(spdbtnGo));
    EXPECT_FALSE(hooked.Enabled(spdbtnPause));
    EXPECT_TRUE(hooked.Enabled(spdbtnStop));

    // While paused, Go checks the field again: a bad text keeps the pause.
    hooked.scanPath = "C:";
    engine->spdbtnGoClick();
    ASSERT_EQ(hooked.messages.size(), 1u);
    EXPECT_EQ(hooked.messages[0].text, "Incorrect path specified");
    EXPECT_TRUE(engine->ScanPathThread()->Paused());

    // A good one resumes the walk where it was held, not with the new folder.
    hooked.scanPath = "D:\\";
    engine->spdbtnGoClick();
    EXPECT_FALSE(hooked.Enabled(spdbtnGo));
    EXPECT_TRUE(hooked.Enabled(spdbtnPause));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(hooked.handled, (std::vector<std::string>{"C:\\Work\\c1.txt", "C:\\Work\\c2.txt"}));
    EXPECT_EQ(engine->Stats().FilesOnDisk_Count, 2);
    EXPECT_EQ(Controls(), kIdlePath);
    EXPECT_EQ(sim.CompletionSounds(), 1);
}

TEST_F(ScanControls, GoRefusesWithAWarning) {
    struct Case {
        ScanArea area;
        std::string path;
        int32_t state;
        std::string message;
    };
    const Case cases[] = {
        {ScanArea::saPath, "", pdiIdle, "Incorrect path specified"},
        {ScanArea::saPath, "C:", pdiIdle, "Incorrect path specified"},
        {ScanArea::saPath, "Work\\c1.txt", pdiIdle, "Incorrect path specified"},
        {ScanArea::saPath, "\\\\server\\share\\x", pdiIdle, "Incorrect path specified"},
        {ScanArea::saDisks, "", pdiDelayedRun, "Scan is already in progress"},
        {ScanArea::saPath, "C:\\Work", pdiDelayedRun, "Scan is already in progress"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " " + c.message);
        hooked.messages.clear();
        hooked.scanArea = c.area;
        hooked.scanPath = c.path;
        bool clicked = false;
        const auto go = [&] {
            const auto controls = hooked.enabledControls;
            const std::string totals = hooked.Label(StatLabel::FilesOnDiskT_Count);
            engine->spdbtnGoClick();
            clicked = true;
            ASSERT_EQ(hooked.messages.size(), 1u);
            EXPECT_EQ(hooked.messages[0].text, c.message);
            EXPECT_EQ(hooked.messages[0].icon, MessageIcon::Warning);
            EXPECT_EQ(engine->ProcessingDriveIdx(), c.state);
            EXPECT_EQ(hooked.enabledControls, controls);
            EXPECT_EQ(hooked.Label(StatLabel::FilesOnDiskT_Count), totals); // never reset
        };
        if (c.state == pdiDelayedRun) {
            // Go while the run of "Try compress files now" shows its file.
            engine->AddToList(TListKind::lkDelayed, "C:\\Work\\c1.txt");
            hooked.onStatus = [&](const std::string&) { go(); };
            engine->TryCompressDelayed(true);
            hooked.onStatus = nullptr;
        } else {
            go();
        }
        EXPECT_TRUE(clicked);
        EXPECT_TRUE(hooked.Enabled(spdbtnGo));
    }
    EXPECT_EQ(engine->ScanPathThread(), nullptr);
}

// After "Wrong drive!" no walk runs and the window stays scanning; Stop returns to idle
// without walking anything, also before any scan thread exists.
TEST_F(ScanControls, StopAfterAWrongDriveReturnsToIdleWithoutAWalk) {
    sim.AddVolume("F:\\", DriveType::Fixed, "FAT32");
    sim.AddFile("F:\\Data\\x.txt", 100'000);
    hooked.scanArea = ScanArea::saPath;
    hooked.scanPath = "F:\\Data";
    engine->spdbtnGoClick();

    ASSERT_EQ(hooked.messages.size(), 1u);
    EXPECT_EQ(hooked.messages[0].text, "Wrong drive!");
    EXPECT_EQ(hooked.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(engine->ScanPathThread(), nullptr);
    EXPECT_FALSE(hooked.Enabled(spdbtnGo));
    EXPECT_TRUE(hooked.Enabled(spdbtnStop));
    engine->spdbtnPauseClick(); // nothing to hold
    EXPECT_FALSE(hooked.Enabled(spdbtnGo));

    engine->spdbtnStopClick();
    EXPECT_FALSE(engine->ScanRunning());
    EXPECT_EQ(engine->ProcessingDriveIdx(), pdiIdle);
    EXPECT_EQ(Controls(), kIdlePath);
    EXPECT_TRUE(hooked.handled.empty());
    EXPECT_FALSE(sim.IsCompressed("F:\\Data\\x.txt"));
    EXPECT_EQ(Count("\tWrong drive!"), 1);
}

// A ticked drive that has gone by the time its turn comes stops the run there.
TEST_F(ScanDrives, AWrongDriveInADriveRunWalksNoFurtherDrive) {
    Tick({"C:\\", "D:\\", "E:\\"});
    hooked.onStatus = [&](const std::string& text) {
        if (text[0] == 'C') sim.RemoveVolume("D:\\");
    };
    engine->spdbtnGoClick();
    ASSERT_TRUE(RunUntil([&] { return !hooked.messages.empty(); }));
    EXPECT_EQ(hooked.messages[0].text, "Wrong drive!");
    EXPECT_TRUE(engine->ScanRunning());

    engine->spdbtnStopClick();
    EXPECT_FALSE(engine->ScanRunning());
    EXPECT_EQ(DrivesWalked(), "C");
    EXPECT_FALSE(sim.IsCompressed("E:\\e1.txt"));
    EXPECT_EQ(Controls(), kIdleDisks);
    EXPECT_EQ(Count("\tScan complete!"), 1);
}

// Exit from the tray menu while the "Wrong drive!" box of a drive run is open: the scan
// thread waits for the handler that shows the box, so the exit saves the lists and ends the
// loop without joining it; the thread is joined once that handler has returned.
TEST_F(ScanDrives, ExitWhileAWrongDriveBoxIsOpenEndsWithTheListsSaved) {
    engine->LoadLists(); // from the data folder, where the exit saves them
    engine->AddToList(TListKind::lkDelayed, "E:\\e1.txt");
    hooked.onStatus = [&](const std::string& text) {
        if (text[0] == 'C') sim.RemoveVolume("D:\\");
    };
    hooked.onMessage = [&] { engine->ProgramExit(); };
    engine->spdbtnGoClick();
    ASSERT_TRUE(RunUntil([&] { return engine->ShuttingDown(); }));

    EXPECT_EQ(hooked.messages.at(0).text, "Wrong drive!");
    EXPECT_NE(sim.Content(folders.UserDataDir + "\\DelayedCompress.lst").find("E:\\e1.txt="),
              std::string::npos);
    EXPECT_EQ(Count("\tProgram terminated"), 1);
    engine.reset(); // joins the walk's thread
    EXPECT_FALSE(sim.IsCompressed("E:\\e1.txt"));
}

TEST_F(ScanControls, ThePathFieldTakesTheBrowsedFolderAndAFolderRunEndsQuietlyWhenAsked) {
    hooked.scanArea = ScanArea::saPath;
    engine->rgrpScanAreaClick();
    EXPECT_EQ(Controls(), kIdlePath);
    hooked.scanPath = "typed";
    engine->sbtnBrowseFolderClick(); // cancelled
    EXPECT_EQ(hooked.scanPath, "");
    const std::string chosen = "C:\\";
    hooked.browseAnswer = &chosen;
    engine->sbtnBrowseFolderClick();
    EXPECT_EQ(hooked.scanPath, "C:\\");

    // A view that sounds the end itself (a terminal's bell) keeps the platform quiet.
    hooked.ownCompletionSound = true;
    engine->spdbtnGoClick();
    ASSERT_TRUE(RunToEnd());
    EXPECT_TRUE(sim.IsCompressed("C:\\Work\\c1.txt")); // the whole drive
    EXPECT_FALSE(sim.IsCompressed("D:\\d1.txt"));
    EXPECT_EQ(hooked.completionSounds, 1);
    EXPECT_EQ(sim.CompletionSounds(), 0);
    EXPECT_EQ(Controls(), kIdlePath);
}

} // namespace
} // namespace brimble::test
