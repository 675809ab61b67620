// The background passes: the lag list released by the incessant timer, idle periods
// accepted and their passes, retries of the delayed list, the per-tick purge, the visual run
// of the options dialog's button, and the timers' settings.

#include "support/EngineFixture.h"
#include "support/RunStates.h"

#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace brimble::test {
namespace {

using enum TSmartCompressMode;
using Lines = std::vector<std::string>;

const std::string kA = "C:\\Data\\a.txt";
const std::string kB = "C:\\Data\\b.txt";
const std::string kC = "C:\\Data\\c.txt";
constexpr int32_t kToday = 46027; // the sim's clock starts at 2026-01-05 12:00

class DelayedCompress : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        TBrimbleOptions& o = Engine().Options();
        o.FilterIncluding = "txt";
        o.CompressAgainDelay = 300'000;
        o.MoveToNeverCompressDelay = 30;
        o.IdleTime = 1;
        Engine().LogFile().SetLogLevel(2);
        for (const std::string& f : {kA, kB, kC})
            sim.AddFile(f, 100'000);
    }

    void Mode(TSmartCompressMode mode, int32_t compressionDelay = 20) {
        Engine().Options().SmartCompressMode = mode;
        Engine().Options().CompressionDelay = compressionDelay;
        Engine().ApplyTimerOptions();
    }
    // Moves the clock (and the user's idle time) and fires the timers that became due.
    void Advance(int64_t ms) {
        sim.AdvanceMilliseconds(ms);
        loop.FireDueTimers();
    }
    static Lines Entries(const TCompressList* list) { return {list->begin(), list->end()}; }
    Lines Delayed() { return Entries(Engine().CompressList(TListKind::lkDelayed)); }
    Lines Lag() { return Entries(Engine().CompressList(TListKind::lkLag)); }
    static std::string DayEntry(const std::string& f, int32_t day = kToday - 1) {
        return f + "=" + std::to_string(day);
    }
    // On the delayed list since Day.
    void Delay(const std::string& f, int32_t day = kToday - 1) {
        QueueAt(TListKind::lkDelayed, f, day + 0.5);
    }
    // Stop, and the walk's end handled.
    void StopRun() {
        Engine().spdbtnStopClick();
        loop.RunUntil([&] { return !Engine().ScanRunning(); });
    }
    int LogCount(const std::string& line) {
        const std::string text = sim.Content(Engine().LogFile().FileName());
        int n = 0;
        for (auto at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
            ++n;
        return n;
    }
    void ExpectIdleControls() {
        EXPECT_TRUE(view.Enabled(ScanControl::spdbtnGo));
        EXPECT_FALSE(view.Enabled(ScanControl::spdbtnPause));
        EXPECT_FALSE(view.Enabled(ScanControl::spdbtnStop));
        EXPECT_TRUE(view.Enabled(ScanControl::rgrpScanArea));
        EXPECT_EQ(Engine().ProcessingDriveIdx(), pdiIdle);
        EXPECT_EQ(view.status, "");
    }
};

// ---------------------------------------------------------------- timers' settings

TEST_F(DelayedCompress, TimersFollowTheModeAndTheIncessantOneTicksEverySecond) {
    struct Case {
        TSmartCompressMode mode;
        bool incessant, delayed;
    };
    for (const Case c : {Case{scmDisabled, false, false}, Case{scmOnIdle, true, false},
                         Case{scmInteractive, true, true}, Case{scmDisabled, false, false}}) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        Engine().Options().IdleTime = 5; // minutes, never the period
        Engine().Options().CompressAgainDelay = 120'000;
        Mode(c.mode);
        EXPECT_EQ(Engine().tmrIncessant().Interval(), 1000u);
        EXPECT_EQ(Engine().tmrIncessant().Enabled(), c.incessant);
        EXPECT_EQ(Engine().tmrDelayedCompress().Interval(), 120'000u);
        EXPECT_EQ(Engine().tmrDelayedCompress().Enabled(), c.delayed);
    }
}

TEST_F(DelayedCompress, ApplyingUnchangedOptionsDoesNotPostponeTheRetryPass) {
    Mode(scmInteractive);
    Advance(200'000);
    Mode(scmInteractive); // the dialog saved again without changes
    Advance(100'000);
    EXPECT_EQ(LogCount("Delayed compress..."), 1);
}

// ---------------------------------------------------------------- the lag list

TEST_F(DelayedCompress, LagEntryIsReleasedAtTheFirstTickAfterItsDelayFromTheFirstChange) {
    Mode(scmInteractive, 20); // 20 × 0.864 s = 17.28 s
    sim.AdvanceMilliseconds(500);
    Engine().FileChanged(nullptr, kA); // stamped at 0.5 s (0.5184 s in six decimals)
    for (int second = 1; second <= 17; ++second) {
        Advance(second == 1 ? 500 : 1000);
        if (second == 5) Engine().FileChanged(nullptr, kA); // changed again: no new stamp
    }
    EXPECT_FALSE(sim.IsCompressed(kA)) << "16.5 s after the change";
    EXPECT_EQ(Lag().size(), 1u);
    Advance(1000);
    EXPECT_TRUE(sim.IsCompressed(kA)) << "17.5 s after the change";
    EXPECT_TRUE(Lag().empty());
}

TEST_F(DelayedCompress, WithoutADelayChangesCompressAtOnceAndTicksNeitherWalkNorPurge) {
    Mode(scmInteractive, 0);
    Engine().FileChanged(nullptr, kA);
    EXPECT_TRUE(sim.IsCompressed(kA));

    QueueAt(TListKind::lkLag, kB, 46000.0); // long due
    Delay("C:\\Data\\gone.txt", 0);         // a purge drops it
    Advance(5000);
    EXPECT_FALSE(sim.IsCompressed(kB));
    EXPECT_EQ(Lag().size(), 1u);
    EXPECT_EQ(Delayed().size(), 1u);
}

TEST_F(DelayedCompress, ScanRunningKeepsReleasingDueEntriesButStopsThePurge) {
    Mode(scmInteractive, 20);
    const std::string gone = "C:\\Data\\gone.txt";
    const std::string vanished = "C:\\Data\\vanished.txt";
    sim.AddFile(gone, 100'000);
    Engine().FileChanged(nullptr, kA);
    Engine().FileChanged(nullptr, gone);
    ASSERT_EQ(Lag().size(), 2u);
    Delay(gone);     // goes with its lag entry
    Delay(vanished); // only a purge drops it
    sim.RemoveFile(gone);
    StartPausedDriveScan(Engine(), view);
    ASSERT_EQ(Engine().ProcessingDriveIdx(), 0);
    sim.ClearOperations();

    Advance(20'000);
    EXPECT_TRUE(sim.IsCompressed(kA));
    EXPECT_TRUE(Lag().empty());
    EXPECT_EQ(Delayed(), (Lines{DayEntry(vanished)}));
    EXPECT_EQ(Engine().Stats().FilesOnDisk_Count, 1) << "released files count in the scan";
    for (const std::string& op : sim.Operations())
        EXPECT_EQ(op.find("gone"), std::string::npos) << op;

    Engine().spdbtnStopClick(); // idle at once; the walk's end is not waited for
    Advance(1000);
    EXPECT_TRUE(Delayed().empty());
}

TEST_F(DelayedCompress, StampWithAnotherDecimalSeparatorNeverBecomesDue) {
    Mode(scmInteractive, 20);
    const std::string thousands = sim.ThousandSeparator();
    const std::string decimal = sim.DecimalSeparator();
    sim.SetSeparators(".", ","); // queued under another locale
    QueueAt(TListKind::lkLag, kA, 46000.5);
    sim.SetSeparators(thousands, decimal);
    QueueAt(TListKind::lkLag, kB, 46000.5);
    Advance(60'000);
    EXPECT_EQ(Lag(), (Lines{kA + "=46000,500000"}));
    EXPECT_FALSE(sim.IsCompressed(kA));
    EXPECT_TRUE(sim.IsCompressed(kB));
}

// ---------------------------------------------------------------- idle periods

TEST_F(DelayedCompress, IdleReadingsAcceptWholePeriodsAndInputResetsTheCount) {
    Mode(scmOnIdle);
    Engine().Options().IdleTime = 2;
    struct Reading {
        uint32_t idleMs;
        int32_t accepted;
    };
    for (const Reading r :
         {Reading{119'000, 0}, Reading{120'000, 1}, Reading{240'000, 2}, Reading{239'000, 2},
          Reading{30'000, 0}, Reading{3'000'000'000u, 0}}) { // negative as signed: no idle
        sim.SetUserIdleMilliseconds(r.idleMs);
        Engine().tmrIncessantTimer();
        EXPECT_EQ(Engine().IdlesAccepted(), r.accepted) << r.idleMs;
    }
    EXPECT_EQ(LogCount("IDLES (2 min) ACCEPTED: 1"), 1);
    EXPECT_EQ(LogCount("IDLES (2 min) ACCEPTED: 2"), 1);
    EXPECT_EQ(LogCount("Delayed compress..."), 2);
}

TEST_F(DelayedCompress, AcceptedIdlePeriodRunsAPassThatRaisesTheCount) {
    Mode(scmOnIdle);
    Engine().FileChanged(nullptr, kA); // queued on the delayed list
    EXPECT_FALSE(sim.IsCompressed(kA));
    sim.SetUserIdleMilliseconds(70'000);
    Engine().tmrIncessantTimer();
    EXPECT_TRUE(sim.IsCompressed(kA));
    EXPECT_TRUE(Delayed().empty());
    EXPECT_EQ(Engine().IdlesAccepted(), 3);

    sim.SetUserIdleMilliseconds(239'999);
    Engine().tmrIncessantTimer();
    EXPECT_EQ(Engine().IdlesAccepted(), 3);
    sim.SetUserIdleMilliseconds(240'000);
    Engine().tmrIncessantTimer();
    EXPECT_EQ(Engine().IdlesAccepted(), 4);
}

TEST_F(DelayedCompress, CompletePassSetsTheCountFromTheIdleTimeReadUnsigned) {
    struct Case {
        uint32_t idleMs;
        int32_t idleTime;
        int32_t accepted;
    };
    for (const Case c : {Case{70'000, 1, 3}, Case{3'000'000'000u, 1, 50'002},
                         Case{70'000, 0, std::numeric_limits<int32_t>::max()}}) {
        SCOPED_TRACE(c.idleMs);
        Engine().Options().IdleTime = c.idleTime;
        Delay(kA);
        sim.SetUserIdleMilliseconds(c.idleMs);
        Engine().tmrDelayedCompressTimer();
        EXPECT_EQ(Engine().IdlesAccepted(), c.accepted);
    }
}

// ---------------------------------------------------------------- retries of the delayed list

TEST_F(DelayedCompress, LockedFilesAreRetriedEveryIntervalAndKeepTheirFirstStamps) {
    Mode(scmInteractive);
    Delay(kA, kToday - 3);
    Delay(kB, kToday - 2);
    Delay(kC, kToday);
    const Lines stamped{DayEntry(kA, kToday - 3), DayEntry(kB, kToday - 2), DayEntry(kC, kToday)};
    for (const std::string& f : {kA, kB, kC})
        sim.SetLocked(f, true);

    Advance(299'999);
    EXPECT_EQ(LogCount("Delayed compress..."), 0);
    for (int pass = 1; pass <= 2; ++pass) {
        Advance(pass == 1 ? 1 : 300'000);
        EXPECT_EQ(LogCount("Delayed compress..."), pass);
        EXPECT_EQ(LogCount("Error during compress/decompress file"), 3 * pass);
        EXPECT_EQ(Delayed(), stamped);
    }
}

TEST_F(DelayedCompress, PassStopsBeforeTheFirstFileByItsKind) {
    struct Case {
        const char* name;
        bool idle, visual;
        int32_t state;
    };
    for (const Case c : {Case{"idle pass, user back", true, false, pdiIdle},
                         Case{"plain pass, scan begun", false, false, pdiFolderScan},
                         Case{"plain pass, drive scan", false, false, 0},
                         Case{"visual pass, stopped", false, true, pdiIdle}}) {
        SCOPED_TRACE(c.name);
        Delay(kA);
        if (c.state == pdiFolderScan) StartPausedFolderScan(Engine(), view, "C:\\Data");
        if (c.state == 0) StartPausedDriveScan(Engine(), view);
        ASSERT_EQ(Engine().ProcessingDriveIdx(), c.state);
        Engine().ProcessDelayedFiles(c.idle, c.visual);
        EXPECT_EQ(Delayed(), (Lines{DayEntry(kA)}));
        EXPECT_FALSE(sim.IsCompressed(kA));
        EXPECT_FALSE(Engine().ProcessingDelayedFiles());
        if (c.state != pdiIdle) StopRun();
    }
    EXPECT_EQ(LogCount("Delayed compress..."), 4);
}

// ---------------------------------------------------------------- the visual run

TEST_F(DelayedCompress, ButtonDuringAScanOnlyShowsTheMessage) {
    Delay(kA);
    QueueAt(TListKind::lkLag, kB, 46000.0);
    const auto pressed = [&](int32_t state) {
        const auto controls = view.enabledControls;
        Engine().TryCompressDelayed(true);
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].text, "Scan is already in progress");
        EXPECT_EQ(view.messages[0].icon, MessageIcon::Warning);
        EXPECT_EQ(view.enabledControls, controls);
        EXPECT_EQ(Engine().ProcessingDriveIdx(), state);
        view.messages.clear();
    };
    StartPausedDriveScan(Engine(), view);
    pressed(0);
    StopRun();
    StartPausedFolderScan(Engine(), view, "C:\\Data");
    pressed(pdiFolderScan);
    StopRun();
    EXPECT_FALSE(sim.IsCompressed(kA));
    EXPECT_EQ(Delayed().size(), 1u);
    EXPECT_EQ(Lag().size(), 1u);
    EXPECT_TRUE(view.broughtToFront.empty());
    EXPECT_EQ(LogCount("Delayed compress..."), 0);

    // Pressed again while the run it started lets a message through: no second run.
    bool pressedDuringRun = false;
    loop.Post([&] {
        pressed(pdiDelayedRun);
        pressedDuringRun = true;
    });
    Engine().TryCompressDelayed(true);
    EXPECT_TRUE(pressedDuringRun);
    EXPECT_EQ(view.broughtToFront, (std::vector<ViewWindow>{ViewWindow::Main}));
    EXPECT_EQ(LogCount("Delayed compress..."), 1);
}

TEST_F(DelayedCompress, VisualRunTakesEveryListedFileAndEmptiesTheLagList) {
    const std::string gone = "C:\\Data\\gone.txt";
    Delay(kA);
    QueueAt(TListKind::lkLag, kB, 99999.0); // not due for ages
    QueueAt(TListKind::lkLag, gone, 46000.0);
    bool stopEnabled = false;
    bool goEnabled = true;
    loop.Post([&] {
        stopEnabled = view.Enabled(ScanControl::spdbtnStop);
        goEnabled = view.Enabled(ScanControl::spdbtnGo);
    });

    Engine().TryCompressDelayed(true);
    EXPECT_TRUE(stopEnabled);
    EXPECT_FALSE(goEnabled);
    EXPECT_TRUE(sim.IsCompressed(kA));
    EXPECT_TRUE(sim.IsCompressed(kB));
    EXPECT_TRUE(Delayed().empty());
    EXPECT_TRUE(Lag().empty());
    EXPECT_EQ(Engine().Stats().CompressedFiles_Count, 2);
    EXPECT_EQ(view.broughtToFront, (std::vector<ViewWindow>{ViewWindow::Main}));
    ExpectIdleControls();
}

TEST_F(DelayedCompress, StopEndsTheVisualRunBeforeTheNextFile) {
    for (const std::string& f : {kA, kB, kC})
        Delay(f);
    QueueAt(TListKind::lkLag, kA, 46000.0);
    loop.Post([&] { Engine().spdbtnStopClick(); }); // handled while the first file is shown

    Engine().TryCompressDelayed(true);
    EXPECT_TRUE(sim.IsCompressed(kC)) << "the file being handled is finished";
    EXPECT_EQ(Delayed(), (Lines{DayEntry(kA), DayEntry(kB)}));
    EXPECT_EQ(Lag(), (Lines{kA + "=46000.000000"}));
    ExpectIdleControls();
}

TEST_F(DelayedCompress, NestedPassReturnsAtOnceAndAnErrorEndsThePass) {
    for (const std::string& f : {kA, kB, kC})
        Delay(f);
    bool sawRunning = false;
    loop.Post([&] {
        sawRunning = Engine().ProcessingDelayedFiles();
        Engine().tmrDelayedCompressTimer(); // a retry tick during the visual run
    });
    loop.Post([] { throw std::runtime_error("handler failed"); }); // shown the second file

    Engine().TryCompressDelayed(true);
    EXPECT_TRUE(sawRunning);
    EXPECT_FALSE(Engine().ProcessingDelayedFiles());
    EXPECT_EQ(LogCount("Delayed compress..."), 1);
    EXPECT_EQ(LogCount("Unable to process delayed file!"), 1);
    EXPECT_TRUE(sim.IsCompressed(kC));
    EXPECT_EQ(Delayed(), (Lines{DayEntry(kA), DayEntry(kB)})) << "the entries not done stay";
    ExpectIdleControls();
}

// A long delayed list costs no burst of file look-ups each second: whether the files exist
// is looked at once a minute, a sixtieth of the list each tick, while the never list and
// the age rule apply at once when they, the age limit or the day change. Each entry still
// leaves when its file is gone, its name is on the never list, or it is too old.
TEST_F(DelayedCompress, TheTickPurgeSpreadsTheFileLookUpsOverAMinute) {
    Mode(scmInteractive, 20);
    Engine().Options().MoveToNeverCompressDelay = 30;
    for (int i = 0; i < 120; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "C:\\Attic\\f%03d.txt", i); // before C:\Data
        Engine().AddToList(TListKind::lkDelayed, name);
    }
    const Lines kept = {DayEntry(kA, kToday), DayEntry(kB, kToday - 30), DayEntry(kC, kToday - 25)};
    Delay(kA, kToday);
    Delay(kB, kToday - 30);
    Delay(kC, kToday - 25);

    Advance(1000);
    EXPECT_EQ(Delayed().size(), 120u) << "three look-ups in the first tick, not 123";
    for (int tick = 1; tick < 60; ++tick)
        Advance(1000);
    EXPECT_EQ(Delayed(), kept) << "every gone file within the minute";

    Engine().AddToList(TListKind::lkNever, "a.txt"); // applies at the next tick
    Advance(1000);
    EXPECT_EQ(Delayed(), (Lines{kept[1], kept[2]}));

    Engine().Options().MoveToNeverCompressDelay = 25; // b.txt is too old now, c.txt not yet
    Advance(1000);
    EXPECT_EQ(Delayed(), Lines{kept[2]});
    EXPECT_TRUE(Engine().CompressList(TListKind::lkNever)->Contains("b.txt"));

    Advance(24 * 3600 * 1000); // the next day
    EXPECT_TRUE(Delayed().empty());
    EXPECT_TRUE(Engine().CompressList(TListKind::lkNever)->Contains("c.txt"));
}

// However long the list, a tick looks at a bounded number of files; the sweep then takes
// longer than a minute, and still reaches every entry.
TEST_F(DelayedCompress, TheTickPurgeLooksAtABoundedNumberOfFilesATick) {
    Mode(scmInteractive, 20);
    for (int i = 0; i < 30'000; ++i)
        Engine().AddToList(TListKind::lkDelayed, "C:\\Gone\\" + std::to_string(i));
    Advance(1000);
    EXPECT_EQ(Engine().CompressList(TListKind::lkDelayed)->Count(), 29'800u);
    for (int tick = 1; tick < 150; ++tick)
        Advance(1000);
    EXPECT_TRUE(Engine().CompressList(TListKind::lkDelayed)->Empty());
}

} // namespace
} // namespace brimble::test
