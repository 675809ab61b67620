// The drive check list and the change watchers that each refresh brings in line with it, on
// the sim platform: which drives appear, which ticks survive, which drives are watched, that
// a drive that stays keeps its watcher, and a changed file that a watcher reports and the
// engine compresses.

#include "support/EngineFixture.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace brimble {
namespace {

using namespace std::chrono_literals;
using Items = std::vector<TDriveItem>;

class DriveList : public test::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        sim.AddVolume("D:\\", DriveType::Fixed, "NTFS", 4096, "Data");
        // Drives that never qualify.
        sim.AddVolume("F:\\", DriveType::CDRom, "NTFS", 2048, "Disc");
        sim.AddVolume("G:\\", DriveType::Fixed, "FAT32", 4096, "Old");
        sim.AddVolume("H:\\", DriveType::Fixed, "NTFS", 8192, "Big");
        sim.AddVolume("Z:\\", DriveType::Remote, "NTFS", 4096, "Share");
        Engine().LogFile().SetLogLevel(2);
    }

    void SetMode(TSmartCompressMode mode) { Engine().Options().SmartCompressMode = mode; }

    std::vector<std::string> Roots() {
        std::vector<std::string> roots;
        for (const TDriveEntry& entry : Engine().DriveLettersList())
            roots.push_back(entry.Root);
        return roots;
    }

    // Serves the UI loop until Done; gives up after five minutes so that a fault fails the
    // test instead of hanging it (sanitizer builds on a busy machine are slow).
    bool RunUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 5min;
        loop.RunUntil([&] { return done() || std::chrono::steady_clock::now() > deadline; });
        return done();
    }
    // The watchers open their drives on their own threads.
    bool WatchersReading(int count) {
        return RunUntil([&] { return sim.ChangeReaderCount() == count; });
    }
    std::string LogText() { return sim.Content(Engine().LogFile().FileName()); }
};

TEST_F(DriveList, FirstRefreshTicksTheQualifyingDrivesAndWatchesThemInSmartModes) {
    const struct {
        TSmartCompressMode Mode;
        std::size_t Watchers;
    } cases[] = {{TSmartCompressMode::scmDisabled, 0},
                 {TSmartCompressMode::scmOnIdle, 2},
                 {TSmartCompressMode::scmInteractive, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Mode));
        SetMode(c.Mode);
        Engine().RefreshDriveList();
        EXPECT_EQ(Roots(), (std::vector<std::string>{"C:\\", "D:\\"}));
        EXPECT_EQ(view.driveItems, (Items{{"C: - System", true}, {"D: - Data", true}}));
        EXPECT_EQ(Engine().MonitoringDriveCount(), c.Watchers);
        EXPECT_TRUE(WatchersReading(static_cast<int>(c.Watchers)));
    }
    EXPECT_EQ(view.driveItemRebuilds, 1);
    EXPECT_NE(LogText().find("\tDrives list updated"), std::string::npos);
}

// Without a qualifying drive the list says why for each local volume (a disc or a network
// share or a RAM disk is no place anyone expects compression), and Go says why it does
// nothing.
TEST_F(DriveList, AnEmptyListSaysWhyAndGoSaysThereIsNothingToScan) {
    Engine().RefreshDriveList();
    EXPECT_EQ(view.noDrives, "");
    sim.AddVolume("C:\\", DriveType::Fixed, "FAT32", 4096, "System");
    sim.AddVolume("D:\\", DriveType::Removable, "exFAT", 4096, "Stick");
    sim.AddVolume("R:\\", DriveType::RamDisk, "tmpfs", 4096, "Memory");
    Engine().RefreshDriveList();
    const std::vector<std::string> lines = {
        "C:\\ (FAT32): the file system cannot compress single files",
        "D:\\ (exFAT): the file system cannot compress single files",
        "G:\\ (FAT32): the file system cannot compress single files",
        "H:\\ (NTFS): its clusters of 8192 bytes are larger than compression takes"};
    EXPECT_EQ(Engine().DriveRefusals(), lines);
    const TMessageTexts& texts = Engine().MessageTexts();
    std::string expected = texts.NoDrivesHeading + " " + texts.NoDrivesHint + "\n";
    for (const std::string& line : lines)
        expected += "\n" + line;
    EXPECT_EQ(view.noDrives, expected);

    Engine().spdbtnGoClick();
    EXPECT_EQ(view.status, texts.NothingToScan);
    EXPECT_FALSE(Engine().ScanRunning());

    sim.AddVolume("D:\\", DriveType::Fixed, "NTFS", 4096, "Data");
    Engine().RefreshDriveList();
    EXPECT_EQ(view.noDrives, "");
}

TEST_F(DriveList, TicksSurviveRefreshesWhileTheDriveStaysListed) {
    SetMode(TSmartCompressMode::scmOnIdle);
    Engine().RefreshDriveList();
    view.driveItems[1].Checked = false; // the user unticks D:

    // Same drives: the items are left alone, even though a label changed.
    sim.AddVolume("C:\\", DriveType::Fixed, "NTFS", 4096, "Renamed");
    Engine().RefreshDriveList();
    EXPECT_EQ(view.driveItemRebuilds, 1);
    EXPECT_EQ(view.driveItems, (Items{{"C: - System", true}, {"D: - Data", false}}));

    // A removable NTFS drive joins ticked, without a watcher; C: and D: keep theirs.
    sim.AddVolume("E:\\", DriveType::Removable, "NTFS", 4096);
    Engine().RefreshDriveList();
    EXPECT_EQ(view.driveItems,
              (Items{{"C: - Renamed", true}, {"D: - Data", false}, {"E: - ", true}}));
    EXPECT_EQ(Engine().MonitoringDriveCount(), 2u);
    EXPECT_TRUE(WatchersReading(2));

    // A drive that leaves and comes back is ticked again.
    sim.RemoveVolume("D:\\");
    Engine().RefreshDriveList();
    EXPECT_EQ(view.driveItems, (Items{{"C: - Renamed", true}, {"E: - ", true}}));
    sim.AddVolume("D:\\", DriveType::Fixed, "NTFS", 4096, "Data");
    Engine().RefreshDriveList();
    EXPECT_EQ(view.driveItems,
              (Items{{"C: - Renamed", true}, {"D: - Data", true}, {"E: - ", true}}));
}

TEST_F(DriveList, StopMonitoringEndsEveryWatcher) {
    SetMode(TSmartCompressMode::scmInteractive);
    Engine().RefreshDriveList();
    ASSERT_TRUE(WatchersReading(2));
    Engine().StopMonitoring();
    EXPECT_EQ(Engine().MonitoringDriveCount(), 0u);
    EXPECT_EQ(sim.ChangeReaderCount(), 0);
    Engine().RefreshDriveList();
    EXPECT_TRUE(WatchersReading(2));
}

TEST_F(DriveList, ARefreshKeepsTheWatcherOfADriveThatStaysAndLosesNoChange) {
    Engine().Options().FilterIncluding = "txt";
    Engine().Options().CompressUnfiltered = false;
    Engine().Options().CompressionDelay = 5; // reports go to the lag list
    SetMode(TSmartCompressMode::scmInteractive);
    Engine().RefreshDriveList();
    ASSERT_TRUE(WatchersReading(2));
    // The change waits in the watcher's queue while the window refreshes (shown, a mount
    // changed): a restarted watcher would drop it with its old reader.
    sim.AddFileWithContent("D:\\kept.txt", std::string(10'000, 'a'));
    sim.AddVolume("E:\\", DriveType::Fixed, "NTFS", 4096, "New");
    Engine().RefreshDriveList();
    EXPECT_EQ(Engine().MonitoringDriveCount(), 3u);
    EXPECT_TRUE(WatchersReading(3));
    EXPECT_TRUE(RunUntil(
        [&] { return LogText().find("[FileChanged]: D:\\kept.txt") != std::string::npos; }));

    // A drive that left loses its watcher; the others keep theirs.
    sim.AddFileWithContent("C:\\kept-too.txt", std::string(10'000, 'a'));
    sim.RemoveVolume("E:\\");
    Engine().RefreshDriveList();
    EXPECT_EQ(Engine().MonitoringDriveCount(), 2u);
    EXPECT_TRUE(RunUntil(
        [&] { return LogText().find("[FileChanged]: C:\\kept-too.txt") != std::string::npos; }));
}

TEST_F(DriveList, AWatcherThatEndedByItselfIsSaidAndDroppedByTheNextRefresh) {
    SetMode(TSmartCompressMode::scmOnIdle);
    Engine().RefreshDriveList();
    ASSERT_TRUE(WatchersReading(2));
    // The volume goes away under its watcher: the read fails and the watcher ends.
    sim.RemoveVolume("D:\\");
    ASSERT_TRUE(WatchersReading(1));
    EXPECT_EQ(Engine().MonitoringDriveCount(), 2u);
    EXPECT_TRUE(RunUntil([&] {
        return LogText().find("\tChange watching of \"D:\\\" ended: ") != std::string::npos;
    }));

    Engine().RefreshDriveList();
    EXPECT_EQ(Engine().MonitoringDriveCount(), 1u);
    EXPECT_TRUE(WatchersReading(1));
    EXPECT_EQ(Roots(), std::vector<std::string>{"C:\\"});
}

// A view whose check list cannot be rebuilt.
class BrokenListView : public test::RecordingView {
public:
    void SetDriveItems(const std::vector<TDriveItem>&) override {
        throw std::runtime_error("list broken");
    }
};

TEST_F(DriveList, AnErrorWhileRebuildingStillStartsTheWatchers) {
    BrokenListView brokenView;
    TfrmBrimblemain broken(sim, loop, brokenView, ComputeProgramFolders(sim));
    broken.Options().SmartCompressMode = TSmartCompressMode::scmInteractive;
    broken.LogFile().SetLogLevel(2);
    EXPECT_THROW(broken.RefreshDriveList(), std::runtime_error);
    EXPECT_EQ(broken.MonitoringDriveCount(), 2u);
    EXPECT_TRUE(WatchersReading(2));
    EXPECT_NE(sim.Content(broken.LogFile().FileName()).find("\tDrives list updated"),
              std::string::npos);
}

TEST_F(DriveList, AChangedFileIsReportedAndCompressedAtOnce) {
    Engine().Options().FilterIncluding = "txt";
    Engine().Options().CompressUnfiltered = false;
    Engine().Options().CompressionDelay = 0;
    SetMode(TSmartCompressMode::scmInteractive);
    Engine().RefreshDriveList();
    ASSERT_TRUE(WatchersReading(2));

    const std::string file = "C:\\Data\\report.txt";
    sim.AddFileWithContent(file, std::string(100'000, 'a'));
    EXPECT_TRUE(RunUntil([&] { return sim.IsCompressed(file); }));
    EXPECT_EQ(sim.Content(file), std::string(100'000, 'a'));

    // Changes the platform could not keep are logged once per batch.
    sim.OverflowChanges("C:\\");
    const std::string lost = "Changes below \"C:\\\" were lost";
    EXPECT_TRUE(RunUntil([&] { return LogText().find(lost) != std::string::npos; }));
    Engine().StopMonitoring();
    const std::string log = LogText();
    EXPECT_EQ(log.find(lost), log.rfind(lost));
}

} // namespace
} // namespace brimble
