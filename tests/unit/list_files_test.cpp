// The never, delayed and lag lists across runs: start-up and exit orders, the purge with
// its age rule, additions and removals, and list files that are odd or cannot be used.

#include "engine/ListFileFormat.h"
#include "support/EngineFixture.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace brimble::test {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

constexpr int32_t Today = 46027; // the sim's clock: 2026-01-05 12:00
const std::string DataDir = "C:\\Users\\u\\AppData\\Local\\Brimble";
const std::string NeverFile = DataDir + "\\NeverCompress.lst";
const std::string DelayedFile = DataDir + "\\DelayedCompress.lst";
const std::string LagFile = DataDir + "\\LagCompress.lst";
const std::string LogPath = DataDir + "\\Brimble.log";

Lines Entries(const TCompressList* list) {
    return list ? Lines(list->begin(), list->end()) : Lines{};
}

class ListFiles : public EngineFixture {
protected:
    // The engine of a new run, with the settings read before the lists are loaded.
    TfrmBrimblemain& Start(int moveToNeverDelay = 1) {
        engine.reset();
        TfrmBrimblemain& e = Engine();
        e.LogFile().SetLogLevel(2);
        e.Options().MoveToNeverCompressDelay = moveToNeverDelay;
        e.LoadLists();
        return e;
    }

    void AtDay(double day) { sim.SetNow(day + 0.5); }

    bool Logged(const std::string& text) {
        return sim.Content(LogPath).find(text) != std::string::npos;
    }
};

TEST_F(ListFiles, StartUpPurgeSeesTheStoredDelay) {
    sim.AddFile("C:\\Data\\a.txt", 100);
    AtDay(46027);
    sim.AddFileWithContent(DelayedFile, "C:\\Data\\a.txt=46024\r\n"); // three days old
    sim.AddFileWithContent(ComputeProgramFolders(sim).IniFileName,
                           "[GENERAL]\r\nMoveToNeverCompressDelay=5\r\n");
    TfrmBrimblemain& e = Engine();
    e.LoadSettingsAndLists();
    EXPECT_EQ(e.Options().MoveToNeverCompressDelay, 5);
    EXPECT_EQ(Entries(e.CompressList(TListKind::lkDelayed)), (Lines{"C:\\Data\\a.txt=46024"}));
    EXPECT_EQ(Entries(e.CompressList(TListKind::lkNever)), (Lines{"BOOTMGR", "NTLDR"}));
}

TEST_F(ListFiles, FirstRunWritesOnlyTheNeverListWithItsTwoNames) {
    TfrmBrimblemain& e = Start();
    EXPECT_EQ(Entries(e.CompressList(TListKind::lkNever)), (Lines{"BOOTMGR", "NTLDR"}));
    EXPECT_TRUE(e.CompressList(TListKind::lkDelayed)->Empty());
    EXPECT_TRUE(e.CompressList(TListKind::lkLag)->Empty());

    e.SaveLists();
    EXPECT_EQ(sim.Content(NeverFile), "BOOTMGR\r\nNTLDR\r\n");
    EXPECT_FALSE(sim.Exists(DelayedFile));
    EXPECT_FALSE(sim.Exists(LagFile));
}

TEST_F(ListFiles, LowerCaseNtldrStaysTheOnlyNtldr) {
    sim.AddFileWithContent(NeverFile, "ntldr\r\n");
    TfrmBrimblemain& e = Start();
    EXPECT_EQ(Entries(e.CompressList(TListKind::lkNever)), (Lines{"BOOTMGR", "ntldr"}));
    e.SaveLists();
    EXPECT_EQ(sim.Content(NeverFile), "BOOTMGR\r\nntldr\r\n");
}

// With MoveToNeverCompressDelay = 1 an entry stamped on day D lives through days D and
// D + 1 and moves on day D + 2. The start-up purge sees the stored setting, not 0.
struct AgeCase {
    int daysLater;
    bool moved;
};

class AgeRule : public ListFiles, public ::testing::WithParamInterface<AgeCase> {};

TEST_P(AgeRule, AtStartUpAndExit) {
    sim.AddFile("C:\\Data\\setup.log", 100);
    sim.AddFileWithContent(DelayedFile, "C:\\Data\\setup.log=" + std::to_string(Today) + "\r\n");
    AtDay(Today + GetParam().daysLater);
    TfrmBrimblemain& e = Start();
    EXPECT_EQ(e.CompressList(TListKind::lkDelayed)->Empty(), GetParam().moved);
    EXPECT_EQ(e.CompressList(TListKind::lkNever)->Contains("setup.log"), GetParam().moved);

    e.SaveLists();
    EXPECT_EQ(sim.Exists(DelayedFile), !GetParam().moved);
    EXPECT_EQ(sim.Content(NeverFile).find("setup.log") != std::string::npos, GetParam().moved);
}

INSTANTIATE_TEST_SUITE_P(Days, AgeRule,
                         ::testing::Values(AgeCase{0, false}, AgeCase{1, false}, AgeCase{2, true},
                                           AgeCase{30, true}),
                         [](const auto& param) {
                             return "DPlus" + std::to_string(param.param.daysLater);
                         });

TEST_F(ListFiles, TickPurgesMoveTheEntryOnTheSecondDayAfter) {
    sim.AddFile("C:\\Data\\a.txt", 100);
    TfrmBrimblemain& e = Start();
    ASSERT_TRUE(e.AddToList(TListKind::lkDelayed, "C:\\Data\\a.txt"));
    EXPECT_EQ(Entries(e.CompressList(TListKind::lkDelayed)),
              Lines{"C:\\Data\\a.txt=" + std::to_string(Today)});
    for (int later : {0, 1}) {
        AtDay(Today + later);
        e.PurgeList(TListKind::lkDelayed, true);
        EXPECT_EQ(e.CompressList(TListKind::lkDelayed)->Count(), 1u) << "day D+" << later;
    }
    AtDay(Today + 2);
    e.PurgeList(TListKind::lkDelayed, true);
    EXPECT_TRUE(e.CompressList(TListKind::lkDelayed)->Empty());
    EXPECT_TRUE(e.CompressList(TListKind::lkNever)->Contains("A.TXT"));
}

TEST_F(ListFiles, EntryOfADeletedFileIsDroppedWithoutMovingItsName) {
    sim.AddFileWithContent(DelayedFile, "C:\\Gone\\old.dat=3\r\n");
    TfrmBrimblemain& e = Start();
    EXPECT_TRUE(e.CompressList(TListKind::lkDelayed)->Empty());
    EXPECT_FALSE(e.CompressList(TListKind::lkNever)->Contains("old.dat"));
}

TEST_F(ListFiles, NeverNameDropsEntriesOfOtherFolders) {
    sim.AddVolume("D:\\", DriveType::Fixed);
    sim.AddFile("C:\\A\\setup.log", 100);
    sim.AddFile("D:\\B\\setup.log", 100);
    sim.AddFileWithContent(DelayedFile, "C:\\A\\setup.log=" + std::to_string(Today - 5) +
                                            "\r\nD:\\B\\setup.log=" + std::to_string(Today) +
                                            "\r\n");
    TfrmBrimblemain& e = Start();
    // The walk goes from the last entry: D:'s entry was kept before C:'s name moved.
    EXPECT_EQ(Entries(e.CompressList(TListKind::lkDelayed)),
              Lines{"D:\\B\\setup.log=" + std::to_string(Today)});
    e.PurgeList(TListKind::lkDelayed, true);
    EXPECT_TRUE(e.CompressList(TListKind::lkDelayed)->Empty());
}

TEST_F(ListFiles, LagEntryKeepsItsFirstStamp) {
    sim.AddFile("C:\\Data\\a.txt", 100);
    TfrmBrimblemain& e = Start();
    sim.SetNow(Today + 0.25);
    EXPECT_TRUE(e.AddToList(TListKind::lkLag, "C:\\Data\\a.txt"));
    sim.AdvanceMilliseconds(60'000);
    EXPECT_FALSE(e.AddToList(TListKind::lkLag, "c:\\data\\A.TXT"));
    EXPECT_EQ(Entries(e.CompressList(TListKind::lkLag)), Lines{"C:\\Data\\a.txt=46027.250000"});
}

TEST_F(ListFiles, PathWithEqualsSignIsFoundByName) {
    const std::string path = "C:\\Data\\x=1\\a=b.txt";
    sim.AddFile(path, 100);
    TfrmBrimblemain& e = Start();
    EXPECT_TRUE(e.AddToList(TListKind::lkDelayed, path));
    e.SaveLists();

    AtDay(Today + 1);
    TfrmBrimblemain& next = Start();
    EXPECT_EQ(Entries(next.CompressList(TListKind::lkDelayed)),
              Lines{path + "=" + std::to_string(Today)});
    EXPECT_FALSE(next.AddToList(TListKind::lkDelayed, path));
    EXPECT_EQ(next.CompressList(TListKind::lkDelayed)->Count(), 1u);

    next.TryRemoveFromDelayedList(path);
    EXPECT_TRUE(next.CompressList(TListKind::lkDelayed)->Empty());
    EXPECT_TRUE(Logged("Removed from delayed compress list: \"" + path + "\""));
}

// The operations of the view of waiting files: Remove from list takes every entry of the
// file (a hand-edited list may hold two stamps), Never compress moves its bare name.
TEST_F(ListFiles, RemoveAndNeverCompressByListKind) {
    sim.AddFile("C:\\Data\\a.txt", 100);
    sim.AddFile("C:\\Data\\b.txt", 100);
    sim.AddFileWithContent(DelayedFile, "C:\\Data\\a.txt=46026\r\nC:\\Data\\a.txt=46027\r\n");
    TfrmBrimblemain& e = Start();
    ASSERT_EQ(e.CompressList(TListKind::lkDelayed)->Count(), 2u);
    EXPECT_TRUE(e.RemoveFromList(TListKind::lkDelayed, "c:\\data\\A.TXT"));
    EXPECT_TRUE(e.CompressList(TListKind::lkDelayed)->Empty());
    EXPECT_FALSE(e.RemoveFromList(TListKind::lkDelayed, "C:\\Data\\a.txt"));

    e.AddToList(TListKind::lkDelayed, "C:\\Data\\b.txt");
    e.AddToList(TListKind::lkLag, "C:\\Data\\b.txt");
    e.NeverCompress("C:\\Data\\b.txt");
    EXPECT_TRUE(e.CompressList(TListKind::lkDelayed)->Empty());
    EXPECT_TRUE(e.CompressList(TListKind::lkLag)->Empty());
    EXPECT_EQ(Entries(e.CompressList(TListKind::lkNever)), (Lines{"b.txt", "BOOTMGR", "NTLDR"}));
    EXPECT_TRUE(e.RemoveFromList(TListKind::lkNever, "D:\\Other\\b.txt")); // by bare name
    EXPECT_FALSE(e.CompressList(TListKind::lkNever)->Contains("b.txt"));

    e.SaveLists(); // saved and released: nothing more is added
    EXPECT_FALSE(e.AddToList(TListKind::lkDelayed, "C:\\Data\\b.txt"));
    EXPECT_FALSE(e.RemoveFromList(TListKind::lkNever, "NTLDR"));
}

TEST_F(ListFiles, RemovingAnAbsentFileChangesNothing) {
    sim.AddFile("C:\\Data\\a.txt", 100);
    TfrmBrimblemain& e = Start();
    e.AddToList(TListKind::lkDelayed, "C:\\Data\\a.txt");
    e.TryRemoveFromDelayedList("C:\\Data\\b.txt");
    e.TryRemoveFromDelayedList("C:\\Data"); // a prefix of the name is no match
    EXPECT_EQ(e.CompressList(TListKind::lkDelayed)->Count(), 1u);
    EXPECT_FALSE(Logged("Removed from delayed compress list"));
}

TEST_F(ListFiles, EmptiedListDeletesTheFileOfTheLastRun) {
    sim.AddFile("C:\\Data\\a.txt", 100);
    sim.AddFileWithContent(DelayedFile, "C:\\Data\\a.txt=" + std::to_string(Today) + "\r\n");
    TfrmBrimblemain& e = Start();
    ASSERT_EQ(e.CompressList(TListKind::lkDelayed)->Count(), 1u);
    e.TryRemoveFromDelayedList("C:\\Data\\a.txt");
    e.SaveLists();
    EXPECT_FALSE(sim.Exists(DelayedFile));
}

TEST_F(ListFiles, GarbageInListFilesIsDroppedOrAgedNeverTrusted) {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        sim.AddFile("C:\\Data\\"s + name, 100);
    sim.AddFileWithContent(DelayedFile, "garbage\r\n"
                                        "\r\n"
                                        "=5\n"
                                        "C:\\Data\\a.txt=abc\r"          // not a number: day 0
                                        "C:\\Data\\b.txt=\r\n"           // empty stamp: day 0
                                        "C:\\Data\\c.txt\0=46027\r\n"s + // NUL names no file
                                            std::string(1 << 20, 'x') +
                                            "=1\r\n" + "C:\\Missing\\e.txt=46027");
    sim.AddFileWithContent(LagFile, "nonsense\r\nC:\\Data\\d.txt=soon\r\n");
    TfrmBrimblemain& e = Start();
    EXPECT_TRUE(e.CompressList(TListKind::lkDelayed)->Empty());
    EXPECT_EQ(Entries(e.CompressList(TListKind::lkNever)),
              (Lines{"a.txt", "b.txt", "BOOTMGR", "NTLDR"}));
    // A lag stamp that is no number never becomes due, but the entry of an existing file stays.
    EXPECT_EQ(Entries(e.CompressList(TListKind::lkLag)), Lines{"C:\\Data\\d.txt=soon"});
}

TEST_F(ListFiles, ByteOrderMarksAndLineEndsOfOtherEditors) {
    sim.AddFile("C:\\Data\\a.txt", 100);
    sim.AddFile("C:\\Data\\b.txt", 100);
    // UTF-16 LE: "\xD0\x9E.doc" and "SETUP.EXE" with lone LF.
    sim.AddFileWithContent(NeverFile,
                           "\xFF\xFE\x1E\x04.\0d\0o\0c\0\n\0S\0E\0T\0U\0P\0.\0E\0X\0E\0"s);
    sim.AddFileWithContent(DelayedFile, "\xEF\xBB\xBF"
                                        "C:\\Data\\a.txt=46027\rC:\\Data\\b.txt=46027");
    TfrmBrimblemain& e = Start();
    EXPECT_EQ(Entries(e.CompressList(TListKind::lkNever)),
              (Lines{"BOOTMGR", "NTLDR", "SETUP.EXE", "\xD0\x9E.doc"}));
    EXPECT_EQ(e.CompressList(TListKind::lkDelayed)->Count(), 2u);

    e.SaveLists();
    // The Cyrillic name does not fit the code page: that file is UTF-8 with a BOM, the
    // other one stays in the code page.
    EXPECT_EQ(sim.Content(NeverFile), "\xEF\xBB\xBF"
                                      "BOOTMGR\r\nNTLDR\r\nSETUP.EXE\r\n\xD0\x9E.doc\r\n");
    EXPECT_EQ(sim.Content(DelayedFile), "C:\\Data\\a.txt=46027\r\nC:\\Data\\b.txt=46027\r\n");
}

TEST_F(ListFiles, NameOutsideTheCodePageSurvivesARestart) {
    const std::string path = "C:\\\xD0\x94\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\\\xC3\x84rger.txt";
    sim.AddFile(path, 100);
    TfrmBrimblemain& e = Start();
    e.AddToList(TListKind::lkDelayed, path);
    e.SaveLists();

    TfrmBrimblemain& next = Start();
    EXPECT_EQ(Entries(next.CompressList(TListKind::lkDelayed)),
              Lines{path + "=" + std::to_string(Today)});
}

TEST_F(ListFiles, CodePageNamesAreWrittenInTheCodePage) {
    sim.AddFile("C:\\Data\\\xC3\x84rger.txt", 100);
    TfrmBrimblemain& e = Start();
    e.AddToList(TListKind::lkDelayed, "C:\\Data\\\xC3\x84rger.txt");
    e.SaveLists();
    EXPECT_EQ(sim.Content(DelayedFile), "C:\\Data\\\xC4rger.txt=46027\r\n");
}

TEST_F(ListFiles, CommaDecimalSeparatorRoundTrip) {
    sim.SetSeparators(".", ",");
    sim.AddFile("C:\\Data\\a.txt", 100);
    TfrmBrimblemain& e = Start();
    e.AddToList(TListKind::lkLag, "C:\\Data\\a.txt");
    e.SaveLists();
    EXPECT_EQ(sim.Content(LagFile), "C:\\Data\\a.txt=46027,500000\r\n");

    TfrmBrimblemain& next = Start();
    ASSERT_EQ(next.CompressList(TListKind::lkLag)->Count(), 1u);
    const std::string entry = (*next.CompressList(TListKind::lkLag))[0];
    EXPECT_EQ(ReadDateTimeStamp(TCompressList::ValueOf(entry), sim.DecimalSeparator()), 46027.5);
}

// A save that fails keeps the old file and goes on with the other lists.
struct FailedSaveCase {
    const char* what;
    void (*breakIt)(sim::SimPlatform&);
    bool folderWritable; // the new delayed file and the log can still be written
};

class FailedSave : public ListFiles, public ::testing::WithParamInterface<FailedSaveCase> {};

TEST_P(FailedSave, KeepsTheOldFile) {
    sim.AddFile("C:\\Data\\a.txt", 100);
    sim.AddFile("C:\\Data\\b.txt", 100);
    sim.AddFileWithContent(NeverFile, "OLD.EXE\r\n");
    sim.AddFileWithContent(LagFile, "C:\\Data\\a.txt=46027.1\r\n");
    TfrmBrimblemain& e = Start();
    e.AddToList(TListKind::lkLag, "C:\\Data\\b.txt");
    e.AddToList(TListKind::lkDelayed, "C:\\Data\\a.txt");
    GetParam().breakIt(sim);
    e.SaveLists();
    EXPECT_EQ(sim.Content(NeverFile), "OLD.EXE\r\n");
    EXPECT_EQ(sim.Content(LagFile), "C:\\Data\\a.txt=46027.1\r\n");
    EXPECT_EQ(sim.Exists(DelayedFile), GetParam().folderWritable);
    if (GetParam().folderWritable) {
        EXPECT_TRUE(Logged("Cannot write list file \"" + LagFile +
                           "\": The process cannot "
                           "access the file because it is being used by another process"));
        EXPECT_TRUE(Logged("Cannot write list file \"" + NeverFile + "\""));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FailedSave,
    ::testing::Values(
        FailedSaveCase{"DiskFull", [](sim::SimPlatform& s) { s.SetDiskFull("C:\\", true); }, false},
        FailedSaveCase{"ReadOnlyFolder",
                       [](sim::SimPlatform& s) { s.SetReadOnlyFolder(DataDir, true); }, false},
        FailedSaveCase{"LockedFiles",
                       [](sim::SimPlatform& s) {
                           s.SetLocked(NeverFile, true);
                           s.SetLocked(LagFile, true);
                       },
                       true}),
    [](const auto& param) { return std::string(param.param.what); });

TEST_F(ListFiles, LockedFileOfAnEmptiedListStaysAndIsLogged) {
    sim.AddFile("C:\\Data\\a.txt", 100);
    sim.AddFileWithContent(DelayedFile, "C:\\Data\\a.txt=46027\r\n");
    TfrmBrimblemain& e = Start();
    e.TryRemoveFromDelayedList("C:\\Data\\a.txt");
    sim.SetLocked(DelayedFile, true);
    e.SaveLists();
    EXPECT_EQ(sim.Content(DelayedFile), "C:\\Data\\a.txt=46027\r\n");
    EXPECT_TRUE(Logged("Cannot delete list file \"" + DelayedFile + "\""));
    EXPECT_EQ(sim.Content(NeverFile), "BOOTMGR\r\nNTLDR\r\n");
}

TEST_F(ListFiles, UnreadableListFileIsLoggedAndNotOverwrittenAtExit) {
    sim.AddFile("C:\\Data\\a.txt", 100);
    sim.AddFileWithContent(DelayedFile, "C:\\Data\\a.txt=46020\r\n");
    sim.SetReadRefused(DelayedFile, true);
    TfrmBrimblemain& e = Engine();
    e.LogFile().SetLogLevel(1);
    e.Options().MoveToNeverCompressDelay = 1;
    e.LoadLists();
    EXPECT_TRUE(Logged("Cannot read list file \"" + DelayedFile + "\": Access is denied"));
    EXPECT_TRUE(e.CompressList(TListKind::lkDelayed)->Empty());

    e.AddToList(TListKind::lkLag, "C:\\Data\\a.txt");
    e.SaveLists();
    EXPECT_EQ(sim.Content(DelayedFile), "C:\\Data\\a.txt=46020\r\n");
    EXPECT_TRUE(Logged("List file \"" + DelayedFile + "\" not saved"));
    // The other lists went their normal way.
    EXPECT_EQ(sim.Content(NeverFile), "BOOTMGR\r\nNTLDR\r\n");
    EXPECT_EQ(sim.Content(LagFile), "C:\\Data\\a.txt=46027.500000\r\n");
}

TEST_F(ListFiles, AgedEntriesStayDelayedWhileTheNeverListCannotBeRead) {
    sim.AddFile("C:\\Data\\setup.log", 100);
    sim.AddFileWithContent(NeverFile, "old.dat\r\n");
    sim.SetReadRefused(NeverFile, true);
    sim.AddFileWithContent(DelayedFile, "C:\\Data\\setup.log=46020\r\n"); // long aged
    TfrmBrimblemain& e = Start();
    EXPECT_EQ(Entries(e.CompressList(TListKind::lkDelayed)), (Lines{"C:\\Data\\setup.log=46020"}));
    e.PurgeList(TListKind::lkDelayed, true); // a tick's purge as well

    e.SaveLists();
    EXPECT_EQ(sim.Content(DelayedFile), "C:\\Data\\setup.log=46020\r\n");
    EXPECT_FALSE(e.CompressList(TListKind::lkNever));
    sim.SetReadRefused(NeverFile, false);
    EXPECT_EQ(sim.Content(NeverFile), "old.dat\r\n");
}

TEST_F(ListFiles, ListsAreSavedOnceAndOnlyAfterTheyWereLoaded) {
    sim.AddFileWithContent(NeverFile, "OLD.EXE\r\n");
    TfrmBrimblemain& e = Engine();
    e.SaveLists(); // never loaded: the file was never read, so it is not replaced
    EXPECT_EQ(sim.Content(NeverFile), "OLD.EXE\r\n");

    TfrmBrimblemain& next = Start();
    next.SaveLists();
    sim.ClearOperations();
    next.SaveLists(); // a second shutdown finds nothing left to do
    next.TryRemoveFromDelayedList("C:\\Data\\a.txt");
    EXPECT_TRUE(sim.Operations().empty());
    EXPECT_EQ(sim.Content(NeverFile), "BOOTMGR\r\nNTLDR\r\nOLD.EXE\r\n");
}

} // namespace
} // namespace brimble::test
