// The files that wait, as their view shows them: rows of the three lists with folder, size,
// day queued and the reason, filtered and sorted, and the actions on chosen rows.

#include "engine/WaitingFiles.h"
#include "support/EngineFixture.h"
#include "support/RunStates.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace brimble {
namespace {

const std::string kLocked = "C:\\Data\\locked.txt";
const std::string kLagged = "C:\\Logs\\app.log";
const std::string kGone = "C:\\Data\\gone.txt";

class WaitingFiles : public test::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        TBrimbleOptions& o = Engine().Options();
        o.FilterIncluding = "txt,log";
        o.CompressUnfiltered = false;
        o.SmartCompressMode = TSmartCompressMode::scmInteractive;
        sim.AddFile(kLocked, 100'000);
        sim.AddFile(kLagged, 300'000);
        sim.SetLocked(kLocked, true);
        // A compression that fails queues the file with its reason, as a scan would.
        Engine().SmartCompress(kLocked);
        QueueAt(TListKind::lkLag, kLagged, 46'000.5); // 2025-12-09 12:00
        QueueAt(TListKind::lkDelayed, kGone, 46'000);
        Engine().AddToList(TListKind::lkNever, "C:\\Any\\setup.exe");
        model.Refresh();
    }

    const TWaitingFile& Row(const std::string& path) {
        for (const TWaitingFile& row : model.Rows())
            if (row.Path == path) return row;
        ADD_FAILURE() << path << " is not shown";
        static const TWaitingFile none;
        return none;
    }
    std::size_t IndexOf(const std::string& path) {
        for (std::size_t i = 0; i < model.Rows().size(); ++i)
            if (model.Rows()[i].Path == path) return i;
        return model.Rows().size();
    }
    bool Listed(TListKind kind, const std::string& path) {
        return Engine().CompressList(kind)->IndexOfName(path) != TCompressList::npos;
    }

    TWaitingFilesModel model{Engine()};
};

TEST_F(WaitingFiles, RowsTellFolderSizeDayAndReason) {
    ASSERT_EQ(model.Rows().size(), 4u);
    const TWaitingFile& locked = Row(kLocked);
    EXPECT_EQ(locked.Kind, TListKind::lkDelayed);
    EXPECT_EQ(locked.Folder, "C:\\Data\\");
    EXPECT_EQ(locked.Name, "locked.txt");
    EXPECT_EQ(locked.Size, 100'000);
    EXPECT_EQ(locked.Reason, Engine().LastFailure(kLocked));
    EXPECT_FALSE(locked.Reason.empty());

    const TWaitingFile& lagged = Row(kLagged);
    EXPECT_EQ(lagged.QueuedText, "2025-12-09 12:00");
    EXPECT_EQ(lagged.Reason, Engine().MessageTexts().WaitForDelay);
    const TWaitingFile& gone = Row(kGone);
    EXPECT_EQ(gone.Size, -1);
    EXPECT_EQ(gone.QueuedText, "2025-12-09");
    EXPECT_EQ(gone.Reason, Engine().MessageTexts().WaitForRetry); // no failure seen this run
    const TWaitingFile& never = Row("setup.exe");
    EXPECT_EQ(never.Folder, "");
    EXPECT_EQ(never.Reason, Engine().MessageTexts().WaitNever);

    EXPECT_FALSE(model.Refresh()); // nothing changed: nothing rebuilt
    Engine().AddToList(TListKind::lkNever, "x.bin");
    EXPECT_TRUE(model.Refresh());
    EXPECT_EQ(model.TotalCount(), 5u);
}

TEST_F(WaitingFiles, FilterAndSort) {
    model.SetFilter("DATA\\");
    EXPECT_EQ(model.Rows().size(), 2u);
    model.SetFilter("");
    const struct {
        TWaitingColumn Column;
        bool Ascending;
        const char* First;
    } cases[] = {
        {TWaitingColumn::wcSize, false, "C:\\Logs\\app.log"},
        {TWaitingColumn::wcSize, true, "C:\\Data\\gone.txt"}, // no size first, then by path
        {TWaitingColumn::wcName, true, "C:\\Logs\\app.log"},
        {TWaitingColumn::wcList, true, "C:\\Data\\gone.txt"},      // delayed first, then by path
        {TWaitingColumn::wcQueued, false, "C:\\Data\\locked.txt"}, // queued today
    };
    for (const auto& c : cases) {
        model.Sort(c.Column, c.Ascending);
        EXPECT_EQ(model.Rows().front().Path, c.First) << static_cast<int>(c.Column);
    }
}

TEST_F(WaitingFiles, RetryCompressesOrKeepsTheFileWithItsNewReason) {
    TWaitingActionResult result = model.RetryNow({IndexOf(kLocked)});
    EXPECT_EQ(result.Done, 0);
    EXPECT_EQ(result.Failed, 1);
    EXPECT_EQ(result.LastFailure, Engine().LastFailure(kLocked));
    EXPECT_TRUE(Listed(TListKind::lkDelayed, kLocked));

    sim.SetLocked(kLocked, false);
    result = model.RetryNow({IndexOf(kLocked), IndexOf(kLagged), IndexOf("setup.exe")});
    EXPECT_EQ(result.Done, 2);
    EXPECT_EQ(result.Failed, 0);
    EXPECT_TRUE(sim.IsCompressed(kLocked));
    EXPECT_TRUE(sim.IsCompressed(kLagged));
    EXPECT_FALSE(Listed(TListKind::lkDelayed, kLocked));
    EXPECT_FALSE(Listed(TListKind::lkLag, kLagged));
    EXPECT_EQ(Engine().LastFailure(kLocked), "");
    EXPECT_EQ(model.Rows().size(), 2u); // the rows follow the lists
}

TEST_F(WaitingFiles, RemoveAndNeverActOnTheChosenRowsOnly) {
    EXPECT_EQ(model.Never({IndexOf(kLagged)}).Done, 1);
    EXPECT_FALSE(Listed(TListKind::lkLag, kLagged));
    EXPECT_NE(Engine().CompressList(TListKind::lkNever)->IndexOf("app.log"), TCompressList::npos);

    EXPECT_EQ(model.Remove({IndexOf(kGone), IndexOf("setup.exe"), 99}).Done, 2);
    EXPECT_FALSE(Listed(TListKind::lkDelayed, kGone));
    EXPECT_EQ(Engine().CompressList(TListKind::lkNever)->IndexOf("setup.exe"), TCompressList::npos);
    EXPECT_TRUE(Listed(TListKind::lkDelayed, kLocked));
}

TEST_F(WaitingFiles, RetryWaitsWhileAScanRuns) {
    sim.AddFile("C:\\Scan\\f.txt", 10);
    test::StartPausedFolderScan(Engine(), view, "C:\\Scan");
    EXPECT_FALSE(model.CanRetry());
    sim.SetLocked(kLocked, false);
    EXPECT_EQ(model.RetryNow({IndexOf(kLocked)}).Done, 0);
    EXPECT_FALSE(sim.IsCompressed(kLocked));
    Engine().StopScan();
}

TEST_F(WaitingFiles, VolumeLinesSayHowEachVolumeIsWatched) {
    sim.AddVolume("D:\\", DriveType::Removable, "NTFS", 4096, "Stick");
    Engine().Options().CompressionDelay = 0;
    Engine().RefreshDriveList();
    Engine().FileChanged(nullptr, kLagged); // compressed now by the background mode
    const std::vector<std::string> lines = model.VolumeLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("C:\\: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("1 files compressed"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1].rfind("D:\\: " + Engine().MessageTexts().NotWatchedRemovable, 0), 0u)
        << lines[1];
}

} // namespace
} // namespace brimble
