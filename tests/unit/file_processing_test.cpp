#include "support/EngineFixture.h"
#include "support/RunStates.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace brimble {
namespace {

using enum TCompressAction;

constexpr int64_t GiB = int64_t{1} << 30;
const std::string kDir = "C:\\Data\\";

// Compressible .txt files of any size; everything else that is turned down is decompressed.
void SimpleOptions(TBrimbleOptions& o) {
    o.FilterIncluding = "txt";
    o.CompressUnfiltered = false;
    o.SmartDecompress = TSmartDecompress::sdAllButCompress;
    o.CompressEncrypted = true;
}

// No run: the engine handles the files that the background reports.
class FileProcessingIdle : public test::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        SimpleOptions(Engine().Options());
        Engine().AddToList(TListKind::lkNever, "NTLDR");
        Engine().LogFile().SetLogLevel(2);
    }

    // Processes the file as the scan reports it.
    void Process(const std::string& name) {
        const auto entry = sim.FindEntry(kDir + name);
        ASSERT_TRUE(entry.has_value()) << name;
        Engine().ProcessFoundFile(nullptr, kDir, *entry);
    }
    // Stop, and the walk's end handled: the engine is idle again.
    void StopRun() {
        Engine().spdbtnStopClick();
        loop.RunUntil([&] { return !Engine().ScanRunning(); });
    }
    std::string LogText() { return sim.Content(Engine().LogFile().FileName()); }
    std::vector<std::string> Labels() const { return {view.labels.begin(), view.labels.end()}; }
};

// A drive scan runs, held before its first file: the test hands it the files.
class FileProcessing : public FileProcessingIdle {
protected:
    void SetUp() override {
        FileProcessingIdle::SetUp();
        test::StartPausedDriveScan(Engine(), view);
    }
};

// The eight fields that the labels show, in label order.
struct Totals {
    int64_t onDiskCount, onDiskSize, toCompressCount, toCompressSize, compressedCount,
        compressedSize, preserved;
    double percent;
    bool operator==(const Totals&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Totals& t) {
    return os << "{" << t.onDiskCount << ", " << t.onDiskSize << ", " << t.toCompressCount << ", "
              << t.toCompressSize << ", " << t.compressedCount << ", " << t.compressedSize << ", "
              << t.preserved << ", " << t.percent << "}";
}

Totals TotalsOf(const TStats& s) {
    return {s.FilesOnDisk_Count,        s.FilesOnDisk_Size,       s.FilesToBeCompressed_Count,
            s.FilesToBeCompressed_Size, s.CompressedFiles_Count,  s.CompressedFiles_Size,
            s.PreservedSpace_Size,      s.CompressedFiles_Percent};
}

// ---------------------------------------------------------------- one file, by outcome

struct FileCase {
    std::string name;
    std::string file;
    int64_t size;
    uint32_t attr;
    double compressibility;
    std::function<void(sim::SimPlatform&, const std::string&)> arrange;
    std::vector<std::string> operations; // with %s for the path
    Totals totals;
    std::string logLine;
};

std::ostream& operator<<(std::ostream& os, const FileCase& c) {
    return os << c.name;
}

class FileOutcome : public FileProcessing, public ::testing::WithParamInterface<FileCase> {};

void Nothing(sim::SimPlatform&, const std::string&) {}

TEST_P(FileOutcome, IsActedOnAndCounted) {
    const FileCase& c = GetParam();
    const std::string path = kDir + c.file;
    sim.AddFile(path, c.size, c.attr, c.compressibility);
    c.arrange(sim, path);

    Process(c.file);

    std::vector<std::string> expected;
    for (std::string op : c.operations)
        expected.push_back(op.replace(op.find("%s"), 2, path));
    EXPECT_EQ(sim.Operations(), expected);
    EXPECT_EQ(TotalsOf(Engine().Stats()), c.totals);
    // The base of the ratio is what the files took on disk before.
    EXPECT_EQ(Engine().Stats().CompressedFiles_OldSize,
              c.totals.compressedSize + c.totals.preserved);
    EXPECT_EQ(view.status, path);
    EXPECT_NE(LogText().find("\t" + c.logLine + "\r\n"), std::string::npos) << LogText();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileOutcome,
    ::testing::Values(
        FileCase{"Gain",
                 "a.txt",
                 10000,
                 fa::Archive,
                 0.3,
                 Nothing,
                 {"compress %s"},
                 {1, 10000, 1, 10000, 1, 4096, 5904, 40.96},
                 "File [C:\\Data\\a.txt] (9.77 Kb) action: COMPRESS"},
        FileCase{"FailedCompression",
                 "a.txt",
                 10000,
                 fa::Archive,
                 0.3,
                 [](sim::SimPlatform& s, const std::string& p) { s.SetLocked(p, true); },
                 {},
                 {1, 10000, 1, 10000, 0, 0, 0, 0.0},
                 "Added to Delayed Compress List"},
        FileCase{"NoGainIsUndone",
                 "a.txt",
                 10000,
                 fa::Archive,
                 1.0,
                 Nothing,
                 {"compress %s", "decompress %s"},
                 {1, 10000, 0, 0, 0, 0, 0, 0.0},
                 "File [C:\\Data\\a.txt] (9.77 Kb) action: COMPRESS"},
        FileCase{"SizeQueryFailsIsNoGain",
                 "a.txt",
                 10000,
                 fa::Archive,
                 0.3,
                 [](sim::SimPlatform& s, const std::string& p) {
                     s.SetCompressedSizeQueryFails(p, true);
                 },
                 {"compress %s", "decompress %s"},
                 {1, 10000, 0, 0, 0, 0, 0, 0.0},
                 "File [C:\\Data\\a.txt] (9.77 Kb) action: COMPRESS"},
        FileCase{"DecryptedAndCompressed",
                 "a.txt",
                 10000,
                 fa::Archive | fa::Encrypted,
                 0.3,
                 Nothing,
                 {"decrypt %s", "compress %s"},
                 {1, 10000, 1, 10000, 1, 4096, 5904, 40.96},
                 "File [C:\\Data\\a.txt] (9.77 Kb) action: COMPRESS"},
        FileCase{"None",
                 "NTLDR",
                 10000,
                 fa::Archive,
                 0.3,
                 Nothing,
                 {},
                 {1, 10000, 0, 0, 0, 0, 0, 0.0},
                 "File [C:\\Data\\NTLDR] action: NONE"},
        FileCase{"Decompress",
                 "small.txt",
                 100,
                 fa::Archive | fa::Compressed,
                 0.3,
                 [](sim::SimPlatform&, const std::string&) {},
                 {"decompress %s"},
                 {1, 100, 0, 0, 0, 0, 0, 0.0},
                 "File [C:\\Data\\small.txt] action: DECOMPRESS"},
        // Rewriting data shared with a snapshot or a copy would cost space.
        FileCase{"SharedDataIsLeftAlone",
                 "a.txt",
                 10000,
                 fa::Archive,
                 0.3,
                 [](sim::SimPlatform& s, const std::string& p) { s.SetSharedData(p, true); },
                 {},
                 {1, 10000, 0, 0, 0, 0, 0, 0.0},
                 "File [C:\\Data\\a.txt] shares its data with another file or a "
                 "snapshot: left as it is"},
        FileCase{"SharedCompressedDataIsNotDecompressed",
                 "small.txt",
                 100,
                 fa::Archive | fa::Compressed,
                 0.3,
                 [](sim::SimPlatform& s, const std::string& p) { s.SetSharedData(p, true); },
                 {},
                 {1, 100, 0, 0, 0, 0, 0, 0.0},
                 "File [C:\\Data\\small.txt] shares its data with another file or "
                 "a snapshot: not decompressed"},
        // Compressed by the volume as it was written: counted, not rewritten.
        FileCase{"StoredCompressedAlready",
                 "a.txt",
                 10000,
                 fa::Archive,
                 0.3,
                 [](sim::SimPlatform& s, const std::string& p) { s.SetEncodedByVolume(p, true); },
                 {},
                 {1, 10000, 1, 10000, 1, 4096, 0, 100.0},
                 "File [C:\\Data\\a.txt] (4.00 Kb) is stored compressed already"},
        // No later try can help: neither a failure nor work to be done.
        FileCase{"ChangeRefused",
                 "a.txt",
                 10000,
                 fa::Archive,
                 0.3,
                 [](sim::SimPlatform& s, const std::string& p) { s.SetChangeRefused(p, true); },
                 {},
                 {1, 10000, 0, 0, 0, 0, 0, 0.0},
                 "File [C:\\Data\\a.txt] cannot be changed: The media is write "
                 "protected"},
        // Sizes past 32 bits are counted at their full width.
        FileCase{"Beyond4GiB",
                 "big.txt",
                 10 * GiB,
                 fa::Archive,
                 0.5,
                 Nothing,
                 {"compress %s"},
                 {1, 10 * GiB, 1, 10 * GiB, 1, 5 * GiB, 5 * GiB, 50.0},
                 "File [C:\\Data\\big.txt] (10.00 Gb) action: COMPRESS"}),
    [](const auto& tc) { return tc.param.name; });

TEST_F(FileProcessing, SharedDataIsCompressedWhenTheUserAsksForIt) {
    Engine().Options().CompressSharedFiles = true;
    sim.AddFile(kDir + "a.txt", 10000, fa::Archive, 0.3);
    sim.SetSharedData(kDir + "a.txt", true);
    Process("a.txt");
    EXPECT_EQ(sim.Operations(), std::vector<std::string>{"compress " + kDir + "a.txt"});
    EXPECT_EQ(Engine().Stats().CompressedFiles_Count, 1);
}

// The level of the options is a manual scan's; the background mode compresses at the file
// system's default, while the user works, unless asked otherwise.
TEST_F(FileProcessingIdle, TheCompressionLevelIsTheManualScansAndTheBackgroundsWhenAsked) {
    Engine().Options().CompressionLevel = 9;
    // The file handled in each kind of run, reached as the user reaches it.
    const std::function<void()> inDriveScan = [&] {
        test::StartPausedDriveScan(Engine(), view);
        Process("a.txt");
        StopRun();
    };
    const std::function<void()> inFolderScan = [&] {
        test::StartPausedFolderScan(Engine(), view, "C:\\Data");
        Process("a.txt");
        StopRun();
    };
    const std::function<void()> withoutRun = [&] { Process("a.txt"); };
    const std::function<void()> inDelayedRun = [&] {
        Engine().AddToList(TListKind::lkDelayed, kDir + "a.txt");
        Engine().TryCompressDelayed(true);
    };
    const struct {
        const char* run;
        const std::function<void()>& handle;
        bool smartToo;
        int level;
    } cases[] = {{"drive scan", inDriveScan, false, 9},
                 {"folder scan", inFolderScan, false, 9},
                 {"no run", withoutRun, false, 0},
                 {"delayed run", inDelayedRun, false, 0},
                 {"no run, level asked", withoutRun, true, 9}};
    for (const auto& c : cases) {
        sim.RemoveFile(kDir + "a.txt");
        sim.AddFile(kDir + "a.txt", 10000, fa::Archive, 0.3);
        Engine().Options().SmartCompressionLevel = c.smartToo;
        c.handle();
        EXPECT_TRUE(sim.IsCompressed(kDir + "a.txt")) << c.run;
        EXPECT_EQ(sim.LastCompressionLevel(), c.level) << c.run << " " << c.smartToo;
    }
}

// A refused change keeps the lists as they were (an old entry of the file even leaves the
// delayed list), and the log names each folder once per run.
TEST_F(FileProcessing, RefusedFilesStayOffTheDelayedListAndTheirFolderIsLoggedOnce) {
    for (const char* name : {"a.txt", "b.txt"}) {
        sim.AddFile(kDir + name, 10000, fa::Archive, 0.3);
        sim.SetChangeRefused(kDir + name, true);
    }
    Engine().AddToList(TListKind::lkDelayed, kDir + "b.txt");
    Process("a.txt");
    Process("b.txt");

    EXPECT_EQ(Engine().CompressList(TListKind::lkDelayed)->Count(), 0u);
    const std::string folderLine = "Files in \"C:\\Data\\\" cannot be changed (The media is "
                                   "write protected): they are left as they are";
    const std::string log = LogText();
    const auto first = log.find(folderLine);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(folderLine, first + 1), std::string::npos) << log;
    EXPECT_EQ(log.find("Added to Delayed Compress List"), std::string::npos) << log;

    Engine().ResetStats(); // the next run says it again
    Process("a.txt");
    EXPECT_NE(LogText().find(folderLine, first + 1), std::string::npos);
}

// ---------------------------------------------------------------- totals and labels

TEST_F(FileProcessing, LabelsShowTheTotalsAndTheRatioSurvivesFilesWithoutGain) {
    sim.AddFile(kDir + "a.txt", 10000, fa::Archive, 0.3);
    sim.AddFile(kDir + "b.txt", 20000, fa::Archive, 1.0);
    Process("a.txt");
    Process("b.txt");

    EXPECT_EQ(TotalsOf(Engine().Stats()), (Totals{2, 30000, 1, 10000, 1, 4096, 5904, 40.96}));
    EXPECT_EQ(Labels(), (std::vector<std::string>{"2 ", "29.30 Kb", "1 ", "9.77 Kb", "1 ",
                                                  "4.00 Kb", "40.96%", "5.77 Kb"}));
}

TEST_F(FileProcessing, CountLabelsHaveThousandsSeparatorsAndTheLocaleDecimal) {
    Engine().UpdateStats(1234, 5 * GiB, 1234, 10000, 1, 4096);
    EXPECT_EQ(view.Label(StatLabel::FilesOnDiskT_Count), "1,234 ");
    EXPECT_EQ(view.Label(StatLabel::FilesOnDiskT_Size), "5.00 Gb");
    EXPECT_EQ(view.Label(StatLabel::CompressedFilesT_Percent), "40.96%");

    sim.SetSeparators(".", ",");
    Engine().UpdateStats(1, 0, 0, 0, -1, -1);
    EXPECT_EQ(view.Label(StatLabel::FilesOnDiskT_Count), "1.235 ");
    EXPECT_EQ(view.Label(StatLabel::CompressedFilesT_Percent), "40,96%");
}

TEST_F(FileProcessingIdle, IdleStateActsButCountsAndShowsNothing) {
    sim.AddFile(kDir + "a.txt", 10000, fa::Archive, 0.3);
    Process("a.txt");

    EXPECT_TRUE(sim.IsCompressed(kDir + "a.txt"));
    EXPECT_NE(LogText().find("action: COMPRESS"), std::string::npos);
    EXPECT_EQ(TotalsOf(Engine().Stats()), (Totals{0, 0, 0, 0, 0, 0, 0, 0.0}));
    EXPECT_EQ(Labels(), std::vector<std::string>(StatLabelCount));
    EXPECT_TRUE(view.statusHistory.empty());

    Engine().UpdateStats(1, 1, 1, 1, 1, 1);
    EXPECT_EQ(Engine().Stats().FilesOnDisk_Count, 0);
}

TEST_F(FileProcessing, ResetClearsTotalsLabelsAndStatus) {
    sim.AddFile(kDir + "a.txt", 10000, fa::Archive, 0.3);
    Process("a.txt");
    Engine().ResetStats();
    EXPECT_EQ(TotalsOf(Engine().Stats()), (Totals{0, 0, 0, 0, 0, 0, 0, 0.0}));
    EXPECT_EQ(Engine().Stats().CompressedFiles_OldSize, 0);
    EXPECT_EQ(Labels(), std::vector<std::string>(StatLabelCount, "?"));
    EXPECT_EQ(view.status, "");
}

TEST_F(FileProcessing, VanishedFileIsLoggedQueuedAndCountedAsToBeCompressed) {
    sim.AddFile(kDir + "a.txt", 10000, fa::Archive, 0.3);
    const TFileAttrRec entry = *sim.FindEntry(kDir + "a.txt");
    sim.RemoveFile(kDir + "a.txt");
    Engine().ProcessFoundFile(nullptr, kDir, entry);

    EXPECT_NE(LogText().find("Error during compress/decompress file \"C:\\Data\\a.txt\": The "
                             "system cannot find the file specified"),
              std::string::npos);
    EXPECT_EQ(Engine().CompressList(TListKind::lkDelayed)->Count(), 1u);
    EXPECT_EQ(TotalsOf(Engine().Stats()), (Totals{1, 10000, 1, 10000, 0, 0, 0, 0.0}));
}

// ---------------------------------------------------------------- status during runs

TEST_F(FileProcessingIdle, DelayedRunLetsOneMessageThroughAndRepaints) {
    sim.AddFile(kDir + "NTLDR", 10000);
    Engine().AddToList(TListKind::lkDelayed, kDir + "NTLDR");
    // Shared with the calls: the one left over runs when the scan thread ends.
    const auto handled = std::make_shared<int>(0);
    loop.Post([handled] { ++*handled; });
    loop.Post([handled] { ++*handled; });

    Engine().TryCompressDelayed(true); // the run handles the listed file
    EXPECT_EQ(*handled, 1);
    EXPECT_EQ(view.repaints, 1);
    EXPECT_NE(std::find(view.statusHistory.begin(), view.statusHistory.end(), kDir + "NTLDR"),
              view.statusHistory.end());
    EXPECT_EQ(Engine().Stats().FilesOnDisk_Count, 1);

    test::StartPausedDriveScan(Engine(), view); // a drive scan neither pumps nor repaints
    const int repaints = view.repaints;
    Process("NTLDR");
    EXPECT_EQ(*handled, 1);
    EXPECT_EQ(view.repaints, repaints);
}

// ---------------------------------------------------------------- errors on the way

// A view whose tray icon fails: the error leaves TryCompressFile before any worker starts.
class BrokenTrayView : public test::RecordingView {
public:
    void SetTrayIconImage(int index) override {
        RecordingView::SetTrayIconImage(index);
        if (index == 1) throw std::runtime_error("tray gone");
    }
};

TEST_F(FileProcessing, ErrorInAStepStillCountsTheFileThenGoesOn) {
    sim.AddFile(kDir + "a.txt", 10000, fa::Archive, 0.3);
    sim.SetErrorMode(0x1);
    BrokenTrayView brokenView;
    TfrmBrimblemain broken(sim, loop, brokenView, ComputeProgramFolders(sim));
    SimpleOptions(broken.Options());
    test::StartPausedDriveScan(broken, brokenView);

    EXPECT_THROW(broken.ProcessFoundFile(nullptr, kDir, *sim.FindEntry(kDir + "a.txt")),
                 std::runtime_error);
    EXPECT_EQ(TotalsOf(broken.Stats()), (Totals{1, 10000, 1, 10000, 0, 0, 0, 0.0}));
    EXPECT_EQ(brokenView.Label(StatLabel::FilesToBeCompressedT_Count), "1 ");
    EXPECT_EQ(sim.ErrorMode(), 0x1u);
    EXPECT_FALSE(sim.IsCompressed(kDir + "a.txt"));
}

} // namespace
} // namespace brimble
