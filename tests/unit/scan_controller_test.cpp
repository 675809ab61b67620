#include "options/OptionsTable.h"
#include "support/EngineFixture.h"
#include "threads/TScanPathThread.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace brimble::test {
namespace {

using enum TScanStart;

// The recording view with a hook into the status line, which the engine sets at the start
// of every file it handles: the test acts there as a user would in the middle of a file.
class HookedView : public RecordingView {
public:
    void SetStatusText(const std::string& text) override {
        RecordingView::SetStatusText(text);
        if (onStatus) onStatus(text);
    }
    std::function<void(const std::string&)> onStatus;
};

class ScanController : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        sim.SetCommandLineArguments({"-d:2"});
        sim.SetEnvironmentVariable("temp", std::string("C:\\Data\\Tmp"));
        folders = ComputeProgramFolders(sim);
        engine = std::make_unique<TfrmBrimblemain>(sim, loop, hooked, folders);
        ApplyDefaults(engine->Options());
        engine->Options().ExcludeFolders.push_back("C:\\Data\\Skip=");

        sim.AddFile("C:\\Data\\a.txt", 100'000);                       // compressed
        sim.AddFile("C:\\Data\\b.zip", 200'000);                       // excluding filter
        sim.AddFile("C:\\Data\\small.txt", 100);                       // below one cluster
        sim.AddFile("C:\\Data\\Sub\\c.doc", 50'000);                   // compressed
        sim.AddFile("C:\\Data\\Sub\\d.txt", 80'000, fa::Archive, 1.0); // no gain: undone
        sim.AddFile("C:\\Data\\Skip\\e.txt", 100'000);                 // excluded folder
        sim.AddFile("C:\\Data\\Tmp\\f.txt", 100'000);                  // excluded through %temp%
        sim.AddFile("C:\\Other\\g.txt", 40'000);
    }

    // The engine holds the view, which goes before the fixture's members.
    void TearDown() override { engine.reset(); }

    std::string LogText() { return sim.Content(engine->LogFile().FileName()); }
    int Count(const std::string& text, const std::string& what) {
        int n = 0;
        for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
            ++n;
        return n;
    }

    HookedView hooked;
};

TEST_F(ScanController, AFolderRunCompressesCountsAndCompletes) {
    engine->Options().Priority = 2;
    ASSERT_EQ(engine->GoScanPath("C:\\Data"), ssStarted);
    EXPECT_EQ(engine->ProcessingDriveIdx(), pdiFolderScan);
    ASSERT_TRUE(RunToEnd());

    EXPECT_TRUE(sim.IsCompressed("C:\\Data\\a.txt"));
    EXPECT_TRUE(sim.IsCompressed("C:\\Data\\Sub\\c.doc"));
    EXPECT_FALSE(sim.IsCompressed("C:\\Data\\Sub\\d.txt"));
    EXPECT_FALSE(sim.IsCompressed("C:\\Data\\b.zip"));
    EXPECT_FALSE(sim.IsCompressed("C:\\Data\\Skip\\e.txt"));
    EXPECT_FALSE(sim.IsCompressed("C:\\Data\\Tmp\\f.txt"));
    EXPECT_FALSE(sim.IsCompressed("C:\\Other\\g.txt"));

    const TStats& s = engine->Stats();
    EXPECT_EQ(s.FilesOnDisk_Count, 5);
    EXPECT_EQ(s.FilesOnDisk_Size, 430'100);
    EXPECT_EQ(s.FilesToBeCompressed_Count, 2);
    EXPECT_EQ(s.FilesToBeCompressed_Size, 150'000);
    EXPECT_EQ(s.CompressedFiles_Count, 2);
    EXPECT_EQ(s.CompressedFiles_Size, 53'248 + 28'672); // whole 4096-byte clusters
    EXPECT_EQ(hooked.Label(StatLabel::FilesOnDiskT_Count), "5 ");

    EXPECT_EQ(engine->ProcessingDriveIdx(), pdiIdle);
    EXPECT_EQ(hooked.status, "");
    EXPECT_EQ(sim.CompletionSounds(), 1);
    EXPECT_EQ(sim.Beeps(), 0);
    const std::string log = LogText();
    EXPECT_EQ(Count(log, "\tDisk cluster size: 4096"), 1);
    EXPECT_EQ(Count(log, "\tScan complete!"), 1);
    EXPECT_EQ(sim.ThreadPriority(), 2); // the scan thread's, from the options
}

// The window resolves a folder given through a link as the scan command does: the walk,
// which never follows a link at its root, sees the target.
TEST_F(ScanController, AFolderGivenThroughALinkIsScannedAsItsTarget) {
    sim.AddDirectoryLink("C:\\Other\\ToData", "C:\\Data");
    ASSERT_EQ(engine->GoScanPath("C:\\Other\\ToData"), ssStarted);
    ASSERT_TRUE(RunToEnd());
    EXPECT_TRUE(sim.IsCompressed("C:\\Data\\a.txt"));
    EXPECT_EQ(engine->Stats().FilesOnDisk_Count, 5);
}

TEST_F(ScanController, TheExcludedFoldersAreRebuiltFromTheOptions) {
    engine->Options().ExcludeFolders = {
        "C:\\Data\\Skip=", "%temp%=",      "%undefined%=", "no equals sign",
        "=value only",     "C:\\Ends\\=x", "%temp%\\Sub="};
    const std::vector<std::string> entries = engine->Options().ExcludeFolders;
    engine->Options().ExcludeFolders = {"C:\\Old="};
    engine->RebuildExpandedFolders();
    engine->Options().ExcludeFolders = entries;
    engine->RebuildExpandedFolders();
    // An entry with text after the reference yields no folder of its own.
    ASSERT_NE(engine->ExpandedFolders(), nullptr);
    EXPECT_EQ(*engine->ExpandedFolders(),
              (std::vector<std::string>{"C:\\Data\\Skip\\", "C:\\Data\\Tmp\\", "C:\\Ends\\"}));
}

TEST_F(ScanController, StopEndsTheWalkAfterTheFileBeingHandled) {
    sim.SetListingOrder("C:\\Data\\", {"a.txt", "small.txt", "b.zip", "Sub"});
    hooked.onStatus = [&](const std::string& text) {
        if (text == "C:\\Data\\small.txt") engine->StopScan();
    };
    ASSERT_EQ(engine->GoScanPath("C:\\Data\\"), ssStarted);
    ASSERT_TRUE(RunToEnd());

    EXPECT_TRUE(sim.IsCompressed("C:\\Data\\a.txt"));
    EXPECT_FALSE(sim.IsCompressed("C:\\Data\\Sub\\c.doc")); // never reached
    EXPECT_EQ(engine->Stats().FilesOnDisk_Count, 1);        // the stopped file no longer counts
    EXPECT_EQ(hooked.statusHistory.back(), "");
    EXPECT_EQ(engine->ProcessingDriveIdx(), pdiIdle);
    EXPECT_EQ(Count(LogText(), "\tScan complete!"), 1); // a stopped run ends the same way
    EXPECT_EQ(sim.CompletionSounds(), 1);
}

TEST_F(ScanController, AnErrorWhileAFileIsHandledIsLoggedAndEndsTheRunAsStopDoes) {
    sim.SetListingOrder("C:\\Data\\", {"a.txt", "small.txt", "b.zip", "Sub"});
    hooked.onStatus = [&](const std::string& text) {
        if (text == "C:\\Data\\small.txt") throw std::runtime_error("view is gone");
    };
    ASSERT_EQ(engine->GoScanPath("C:\\Data"), ssStarted);
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ(engine->ScanError(), "view is gone");
    EXPECT_TRUE(sim.IsCompressed("C:\\Data\\a.txt"));
    EXPECT_FALSE(sim.IsCompressed("C:\\Data\\Sub\\c.doc")); // never reached
    EXPECT_EQ(engine->ProcessingDriveIdx(), pdiIdle);
    EXPECT_EQ(Count(LogText(), "\tScan stopped by an error: view is gone"), 1);

    // The next run starts clean.
    hooked.onStatus = nullptr;
    ASSERT_EQ(engine->GoScanPath("C:\\Data"), ssStarted);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(engine->ScanError(), "");
    EXPECT_TRUE(sim.IsCompressed("C:\\Data\\Sub\\c.doc"));
}

TEST_F(ScanController, StopWhilePausedHandlesNoFurtherFile) {
    sim.SetListingOrder("C:\\Data\\", {"a.txt", "small.txt", "b.zip", "Sub"});
    hooked.onStatus = [&](const std::string& text) {
        if (text == "C:\\Data\\a.txt") engine->spdbtnPauseClick();
    };
    ASSERT_EQ(engine->GoScanPath("C:\\Data\\"), ssStarted);
    // Held before the next file: the walk waits for Release.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    loop.RunUntil([&] {
        return engine->Stats().FilesOnDisk_Count >= 1 ||
               std::chrono::steady_clock::now() > deadline;
    });
    ASSERT_TRUE(engine->ScanPathThread()->Paused());
    hooked.onStatus = [&](const std::string& text) {
        if (!text.empty()) ADD_FAILURE() << "handled after Stop: " << text;
    };
    engine->StopScan();
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ(engine->Stats().FilesOnDisk_Count, 1);
    EXPECT_EQ(Count(LogText(), "action:"), 1) << LogText();
}

TEST_F(ScanController, ASecondRunResetsTheTotalsAndReusesTheThread) {
    ASSERT_EQ(engine->GoScanPath("C:\\Data"), ssStarted);
    ASSERT_TRUE(RunToEnd());
    const TScanPathThread* thread = engine->ScanPathThread();
    ASSERT_NE(thread, nullptr);

    hooked.onStatus = [&](const std::string& text) {
        if (!text.empty()) {
            EXPECT_EQ(engine->GoScanPath("C:\\Data"), ssScanInProgress);
        }
    };
    ASSERT_EQ(engine->GoScanPath("C:\\Other"), ssStarted);
    EXPECT_EQ(hooked.Label(StatLabel::FilesOnDiskT_Count), "?");
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ(engine->ScanPathThread(), thread);
    EXPECT_TRUE(sim.IsCompressed("C:\\Other\\g.txt"));
    EXPECT_EQ(engine->Stats().FilesOnDisk_Count, 1);
    EXPECT_EQ(engine->Stats().CompressedFiles_Count, 1);
    EXPECT_EQ(Count(LogText(), "\tScan complete!"), 2);
}

TEST_F(ScanController, RefusedPathsChangeNothing) {
    for (const char* path : {"", "C", "C:", "Data\\x", "\\\\server\\share\\x", "1:\\x"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(engine->GoScanPath(path), ssIncorrectPath);
    }
    EXPECT_EQ(hooked.Label(StatLabel::FilesOnDiskT_Count), ""); // never reset

    // A folder given while the run of "Try compress files now" lets a message through.
    bool refused = false;
    loop.Post([&] {
        const std::string totals = hooked.Label(StatLabel::FilesOnDiskT_Count);
        EXPECT_EQ(engine->GoScanPath("C:\\Data"), ssScanInProgress);
        EXPECT_EQ(engine->ProcessingDriveIdx(), pdiDelayedRun);
        EXPECT_EQ(hooked.Label(StatLabel::FilesOnDiskT_Count), totals);
        refused = true;
    });
    engine->AddToList(TListKind::lkDelayed, "C:\\Data\\a.txt");
    engine->TryCompressDelayed(true);
    EXPECT_TRUE(refused);

    EXPECT_EQ(engine->ScanPathThread(), nullptr);
    EXPECT_EQ(sim.Beeps(), 0);
}

TEST_F(ScanController, AWrongDriveStartsNoWalkAndStopEndsTheRun) {
    sim.AddVolume("F:\\", DriveType::Fixed, "FAT32");
    sim.AddFile("F:\\Data\\x.txt", 100'000);
    sim.AddVolume("N:\\", DriveType::Remote, "NTFS");
    for (const char* path : {"F:\\Data", "N:\\", "Z:\\Nothing"}) {
        SCOPED_TRACE(path);
        ASSERT_EQ(engine->GoScanPath(path), ssWrongDrive);
        EXPECT_EQ(engine->ScanPathThread(), nullptr);
        EXPECT_TRUE(engine->ScanRunning()); // as the window: scanning until Stop
        EXPECT_EQ(engine->GoScanPath("C:\\Data"), ssScanInProgress);
        engine->StopScan();
        EXPECT_FALSE(engine->ScanRunning());
        EXPECT_EQ(engine->ProcessingDriveIdx(), pdiIdle);
    }
    EXPECT_FALSE(sim.IsCompressed("F:\\Data\\x.txt"));
    const std::string log = LogText();
    EXPECT_EQ(Count(log, "\tWrong drive!"), 3);
    EXPECT_EQ(Count(log, "\tDisk cluster size"), 0);
    EXPECT_EQ(sim.Beeps(), 3); // the refusals'
    EXPECT_EQ(sim.CompletionSounds(), 3);

    // Stop with nothing running has nothing to end.
    engine->StopScan();
    EXPECT_EQ(sim.CompletionSounds(), 3);
    EXPECT_EQ(Count(LogText(), "\tScan complete!"), 3);
}

TEST_F(ScanController, AMissingFolderIsAnEmptyWalkAndQuietWithoutBeep) {
    engine->Options().BeepOnComplete = false;
    ASSERT_EQ(engine->GoScanPath("C:\\Nowhere\\Deep"), ssStarted);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(engine->Stats().FilesOnDisk_Count, 0);
    EXPECT_EQ(engine->ProcessingDriveIdx(), pdiIdle);
    EXPECT_EQ(sim.CompletionSounds(), 0);
    EXPECT_EQ(Count(LogText(), "Scan complete!"), 0);
}

// Stop and the end of the walk can race: Go may start again only after the walk has ended.
TEST_F(ScanController, GoAfterStopWaitsForTheStoppedWalk) {
    hooked.onStatus = [&](const std::string& text) {
        if (text != "C:\\Data\\a.txt") return;
        engine->StopScan();
        EXPECT_EQ(engine->GoScanPath("C:\\Other"), ssScanInProgress);
    };
    ASSERT_EQ(engine->GoScanPath("C:\\Data"), ssStarted);
    ASSERT_TRUE(RunToEnd());
    hooked.onStatus = nullptr;
    ASSERT_EQ(engine->GoScanPath("C:\\Other"), ssStarted);
    ASSERT_TRUE(RunToEnd());
    EXPECT_TRUE(sim.IsCompressed("C:\\Other\\g.txt"));
}

} // namespace
} // namespace brimble::test
