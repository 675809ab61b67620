// The estimate: how btrfs and NTFS would store a file's blocks, the sampling of large files,
// the choice of the files read and the prediction of the others, and a scan that predicts
// instead of compressing and so changes no file and no list.

#include "engine/EstimateSampler.h"
#include "engine/OnDiskEstimate.h"
#include "engine/TBlockCompressor.h"
#include "options/OptionsTable.h"
#include "support/EngineFixture.h"
#include "support/RunStates.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace brimble::test {
namespace {

constexpr int64_t KiB = 1024;
const TCompressGeometry kGeometry;

std::string Zeros(int64_t size) {
    return std::string(static_cast<std::size_t>(size), '\0');
}

std::string Noise(int64_t size, unsigned seed = 1) {
    std::mt19937 random(seed);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

// Text that zstd shrinks to about a third.
std::string Text(int64_t size, unsigned seed = 2) {
    std::mt19937 random(seed);
    static const char* const words[] = {"alpha ",      "beta ", "gamma ", "delta ", "x = y;\n",
                                        "return 0;\n", "{\n",   "}\n",    "int ",   "/* */ "};
    std::string bytes;
    while (static_cast<int64_t>(bytes.size()) < size)
        bytes += words[random() % 10];
    bytes.resize(static_cast<std::size_t>(size));
    return bytes;
}

// The whole estimate of Content as the engine makes it: planned blocks, each compressed.
int64_t Estimate(const std::string& content, const TSampling& sampling = {}) {
    const auto size = static_cast<int64_t>(content.size());
    const TEstimatePlan plan = PlanEstimate(size, kGeometry, sampling);
    TBlockCompressor compressor;
    std::vector<TBlockResult> results;
    for (const TBlockSpan& span : plan.Blocks) {
        const std::string block = content.substr(static_cast<std::size_t>(span.Offset),
                                                 static_cast<std::size_t>(span.Length));
        results.push_back({span.Offset, span.Length, compressor.CompressedSize(block, 3)});
    }
    return EstimateOnDisk(size, plan, results, kGeometry);
}

TEST(OnDiskEstimate, BlocksAreStoredAsBtrfsStoresThem) {
    if (!TBlockCompressor::Available()) GTEST_SKIP() << "built without zstd";
    struct Case {
        const char* what;
        std::string content;
        int64_t onDisk;
    } cases[] = {
        {"all zeros: one sector a block", Zeros(256 * KiB), 2 * 4096},
        {"noise: kept as it is", Noise(256 * KiB), 256 * KiB},
        // The tail of 1000 bytes cannot save a sector: stored plain in one.
        {"zeros and a short tail", Zeros(128 * KiB + 1000), 4096 + 4096},
        {"zeros, tail not a sector's multiple", Zeros(130 * KiB), 4096 + 4096},
        {"empty", "", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Estimate(c.content), c.onDisk) << c.what;
}

TEST(OnDiskEstimate, AFileOfOneSectorLivesInlineWhenItsDataFits) {
    if (!TBlockCompressor::Available()) GTEST_SKIP() << "built without zstd";
    TBlockCompressor compressor;
    const std::string zeros = Zeros(4096);
    // Inline data is counted by its length, compressed as it is.
    EXPECT_EQ(Estimate(zeros), compressor.CompressedSize(zeros, 3));
    EXPECT_LT(Estimate(zeros), 100);
    EXPECT_EQ(Estimate(Noise(4096)), 4096); // neither fits: one plain sector
    EXPECT_EQ(Estimate(Noise(1500)), 1500); // short enough to be inline uncompressed
    EXPECT_EQ(Estimate(Zeros(4097)), 4096); // two sectors of data compressed into one
}

TEST(OnDiskEstimate, ABlockThatDoesNotShrinkLeavesTheRestOfItsRunPlain) {
    // Compressed sizes given directly: the first block shrinks, the second does not, the
    // third would but follows it in the same run; the fifth block starts the next run.
    TEstimatePlan plan = PlanEstimate(5 * 128 * KiB, kGeometry, {});
    ASSERT_EQ(plan.Blocks.size(), 5u);
    std::vector<TBlockResult> results;
    const int64_t compressed[] = {10'000, 125 * KiB, 10'000, 10'000, 10'000};
    for (std::size_t i = 0; i < 5; ++i)
        results.push_back({plan.Blocks[i].Offset, plan.Blocks[i].Length, compressed[i]});
    EXPECT_EQ(EstimateOnDisk(5 * 128 * KiB, plan, results, kGeometry),
              12'288 + 3 * 128 * KiB + 12'288);

    // Saving exactly one sector is enough; saving less is not.
    EXPECT_TRUE(KeepsCompressed(128 * KiB, 124 * KiB, kGeometry));
    EXPECT_FALSE(KeepsCompressed(128 * KiB, 124 * KiB + 1, kGeometry));
    EXPECT_FALSE(KeepsCompressed(128 * KiB, -1, kGeometry)); // could not be compressed
}

// The predicted size of a file whose planned blocks compress to the given sizes, in order.
int64_t OnDiskWith(int64_t size, const TCompressGeometry& geometry,
                   const std::vector<int64_t>& compressed) {
    const TEstimatePlan plan = PlanEstimate(size, geometry, {});
    EXPECT_EQ(plan.Blocks.size(), compressed.size()) << size << " bytes";
    std::vector<TBlockResult> results;
    for (std::size_t i = 0; i < plan.Blocks.size() && i < compressed.size(); ++i)
        results.push_back({plan.Blocks[i].Offset, plan.Blocks[i].Length, compressed[i]});
    return EstimateOnDisk(size, plan, results, geometry);
}

// NTFS compresses each unit of 16 clusters alone and keeps it compressed only when that
// saves a whole cluster; a unit that does not shrink leaves the next ones alone.
TEST(OnDiskEstimate, NtfsUnitsAreStoredInClustersEachOnItsOwn) {
    const TCompressGeometry ntfs = NtfsGeometry(4096);
    EXPECT_EQ(ntfs.BlockSize, 64 * KiB);
    const TCompressGeometry small = NtfsGeometry(512);
    EXPECT_EQ(small.BlockSize, 8 * KiB);
    struct Case {
        const char* what;
        const TCompressGeometry& geometry;
        int64_t size;
        std::vector<int64_t> compressed;
        int64_t onDisk;
    } cases[] = {
        {"saves clusters; does not; shrinks after one that did not; partial unit saves one",
         ntfs,
         3 * 64 * KiB + 10'000,
         {20'000, 62'000, 10'000, 5'000},
         20'480 + 65'536 + 12'288 + 8'192},
        {"partial last unit saving less than a cluster stays plain",
         ntfs,
         64 * KiB + 10'000,
         {20'000, 9'000},
         20'480 + 12'288},
        {"a unit of zeros takes no cluster", ntfs, 2 * 64 * KiB, {0, 30'000}, 32'768},
        {"could not be compressed: plain", ntfs, 64 * KiB, {-1}, 64 * KiB},
        {"one cluster cannot save one", ntfs, 100, {30}, 4096},
        {"clusters of 512 bytes",
         small,
         2 * 8 * KiB + 700,
         {3'000, 8'000, 400},
         3'072 + 8'192 + 512},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OnDiskWith(c.size, c.geometry, c.compressed), c.onDisk) << c.what;

    // A large file is sampled in stretches as long as btrfs's runs: the same share is read.
    const auto BytesRead = [](const TEstimatePlan& plan) {
        int64_t read = 0;
        for (const TBlockSpan& span : plan.Blocks)
            read += span.Length;
        return read;
    };
    for (const TCompressGeometry& geometry : {ntfs, small}) {
        const TEstimatePlan plan = PlanEstimate(100 * 512 * KiB, geometry, {});
        EXPECT_TRUE(plan.Sampled());
        EXPECT_EQ(BytesRead(plan), BytesRead(PlanEstimate(100 * 512 * KiB, kGeometry, {})));
    }
}

TEST(OnDiskEstimate, ALargeFileIsSampledAndScaledUp) {
    const int64_t size = 100 * 512 * KiB + 300 * KiB; // 101 runs, the last one short
    const TSampling oneInEight{.MaxSampledRuns = 1000};
    const TEstimatePlan plan = PlanEstimate(size, kGeometry, oneInEight);
    EXPECT_TRUE(plan.Sampled());
    EXPECT_EQ(plan.Runs, 101);
    EXPECT_EQ(plan.SampledRuns, 13); // one in eight of the 99 runs between first and last
    int64_t read = 0;
    int64_t previousEnd = 0;
    for (const TBlockSpan& span : plan.Blocks) {
        EXPECT_GE(span.Offset, previousEnd); // in file order, none twice
        previousEnd = span.Offset + span.Length;
        read += span.Length;
    }
    EXPECT_EQ(previousEnd, size);
    EXPECT_EQ(plan.Blocks.front().Offset, 0);
    EXPECT_EQ(read, 14 * 512 * KiB + 300 * KiB); // first, 13 sampled, last

    if (!TBlockCompressor::Available()) GTEST_SKIP() << "built without zstd";
    // Alike content: the sample predicts what reading all of it does, to a few sectors.
    std::string text = Text(size);
    const int64_t sampled = Estimate(text, oneInEight);
    const int64_t whole = Estimate(text, TSampling{1'000'000, 1, 1});
    EXPECT_NEAR(static_cast<double>(sampled), static_cast<double>(whole), whole * 0.01);
    EXPECT_LT(whole, size / 2);
    // Files up to two runs are read whole.
    EXPECT_FALSE(PlanEstimate(2 * 512 * KiB, kGeometry, {}).Sampled());
}

TEST(OnDiskEstimate, TheSampleOfAHugeFileIsBounded) {
    const int64_t run = kGeometry.RunSize();
    struct Case {
        int64_t Runs;
        int64_t Sampled; // of the runs between the first and the last
    };
    for (const Case& c : {Case{3, 1}, Case{4, 2}, Case{20, 3}, Case{101, 8}, Case{20'000, 8}}) {
        const TEstimatePlan plan = PlanEstimate(c.Runs * run, kGeometry, {});
        EXPECT_EQ(plan.SampledRuns, c.Sampled) << c.Runs << " runs";
        int64_t read = 0;
        for (const TBlockSpan& span : plan.Blocks)
            read += span.Length;
        EXPECT_EQ(read, (2 + c.Sampled) * run) << c.Runs << " runs";
        // The sampled runs stay spread over the whole file.
        if (c.Runs > 100) {
            EXPECT_GT(plan.Blocks[plan.Blocks.size() - 5].Offset, c.Runs * run / 2);
        }
    }
}

TEST(EstimateSampler, ChoosesByTheNameAloneAndReadsAGroupsFirstFiles) {
    const TFileSampling sampling{.Share = 4, .MinMeasured = 3};
    const auto choose = [&] {
        TEstimateSampler sampler('\\', sampling);
        std::vector<bool> read;
        for (int i = 0; i < 400; ++i)
            read.push_back(sampler.Reads("C:\\d\\f" + std::to_string(i) + ".txt", 10'000));
        return read;
    };
    const std::vector<bool> first = choose();
    EXPECT_EQ(choose(), first); // the same files on every run
    EXPECT_TRUE(first[0] && first[1] && first[2]);
    const auto count = std::count(first.begin() + 3, first.end(), true);
    EXPECT_NEAR(static_cast<double>(count), 397 / 4.0, 30);

    // Always read: a file of one sector (it may live in the metadata) and a large one.
    TEstimateSampler sampler('\\', {.Share = 1'000'000, .MinMeasured = 0});
    EXPECT_FALSE(sampler.Reads("C:\\d\\a.txt", 10'000));
    EXPECT_TRUE(sampler.Reads("C:\\d\\b.txt", 4096));
    EXPECT_TRUE(sampler.Reads("C:\\d\\c.txt", TFileSampling{}.MaxPredictedSize + 1));
}

TEST(EstimateSampler, GroupsByExtensionWithoutVersionNumbers) {
    struct Case {
        const char* name;
        const char* extension;
    } cases[] = {{"a.txt", "txt"}, {"libz.so.1.3", "so"}, {"archive.tar.GZ", "GZ"}, {"README", ""},
                 {".bashrc", ""},  {"v.1.2", ""},         {"python3.11", ""}};
    for (const Case& c : cases)
        EXPECT_EQ(TEstimateSampler::GroupExtension(c.name), std::string_view(c.extension))
            << c.name;
}

TEST(EstimateSampler, PredictsItsGroupsRatioInWholeSectorsKeepingTheTotal) {
    TEstimateSampler sampler('\\', {.Share = 1'000'000, .MinMeasured = 2});
    // Two .h files of the class 16 to 32 KiB: 45,056 bytes before, 14,336 after.
    sampler.Measured("C:\\inc\\a.h", 20'000, 20'480, 8'192);
    sampler.Measured("C:\\inc\\b.h", 24'000, 24'576, 6'144);
    int64_t total = 0;
    for (int i = 0; i < 10; ++i) {
        const int64_t predicted =
            sampler.Predict("C:\\other\\p" + std::to_string(i) + ".H", 20'000, 20'480);
        EXPECT_EQ(predicted % 4096, 0);
        EXPECT_GE(predicted, 4096);
        total += predicted;
    }
    const double exact = 10 * 20'480 * 14'336.0 / 45'056.0;
    EXPECT_NEAR(static_cast<double>(total), exact, 2048); // the rounding is carried over

    // Nothing known of another size class or extension: no gain, as a real run undoes.
    EXPECT_EQ(sampler.Predict("C:\\inc\\big.h", 40'000, 40'960), 40'960);
    EXPECT_EQ(sampler.Predict("C:\\inc\\c.cpp", 20'000, 20'480), 20'480);
    // A group whose files gained nothing predicts no gain.
    sampler.Measured("C:\\z\\a.zst", 20'000, 20'480, 20'700);
    EXPECT_EQ(sampler.Predict("C:\\z\\b.zst", 20'000, 20'480), 20'480);
    // Names without an extension are alike within their folder only.
    sampler.Measured("C:\\bin\\tool", 20'000, 20'480, 4'096);
    EXPECT_EQ(sampler.Predict("C:\\bin\\other", 20'000, 20'480), 4'096);
    EXPECT_EQ(sampler.Predict("C:\\sbin\\other", 20'000, 20'480), 20'480);
}

class EstimateRun : public EngineFixture {
protected:
    const std::string kDataDir = "C:\\Users\\u\\AppData\\Local\\Brimble\\";
};

TEST_F(EstimateRun, PredictsTheTotalsAndChangesNoFileNorList) {
    if (!TBlockCompressor::Available()) GTEST_SKIP() << "built without zstd";
    sim.AddFile("C:\\Data\\zeros.txt", 300 * KiB);                  // shrinks to little
    sim.AddFileWithContent("C:\\Data\\noise.txt", Noise(64 * KiB)); // no gain
    sim.AddFileWithContent("C:\\Data\\text.txt", Text(200 * KiB));  // shrinks
    sim.AddFile("C:\\Data\\packed.zip", 50 * KiB, fa::Compressed);  // decided otherwise
    // A success would take text.txt off the delayed list; an exit would purge the gone one.
    const std::string delayed = "C:\\Data\\text.txt=46027\r\nC:\\Gone\\x.txt=46027\r\n";
    sim.AddFileWithContent(kDataDir + "DelayedCompress.lst", delayed);
    sim.AddFileWithContent(kDataDir + "NeverCompress.lst", "other.bin\r\n");
    TfrmBrimblemain& e = Engine();
    ApplyDefaults(e.Options());
    e.Options().SmartDecompress = TSmartDecompress::sdAllButCompress; // would decompress
    e.LoadLists();
    e.SetEstimateOnly(true);
    sim.ClearOperations();

    ASSERT_EQ(e.GoScanPath("C:\\Data"), TScanStart::ssStarted);
    ASSERT_TRUE(RunToEnd());
    e.ProgramExit();

    for (const std::string& operation : sim.Operations())
        EXPECT_EQ(operation.find("compress"), std::string::npos) << operation;
    EXPECT_EQ(sim.Content(kDataDir + "DelayedCompress.lst"), delayed);
    EXPECT_EQ(sim.Content(kDataDir + "NeverCompress.lst"), "other.bin\r\n");
    EXPECT_FALSE(sim.IsCompressed("C:\\Data\\zeros.txt"));
    EXPECT_TRUE(sim.IsCompressed("C:\\Data\\packed.zip"));

    const TStats& stats = e.Stats();
    EXPECT_EQ(stats.FilesOnDisk_Count, 4);
    EXPECT_EQ(stats.FilesToBeCompressed_Count, 2); // noise.txt is undone in a real run
    EXPECT_EQ(stats.CompressedFiles_Count, 2);
    EXPECT_EQ(stats.CompressedFiles_OldSize, 300 * KiB + 200 * KiB);
    EXPECT_GT(stats.PreservedSpace_Size, 300 * KiB);
    EXPECT_LT(stats.CompressedFiles_Size, 100 * KiB);
}

// A volume whose format the platform cannot compress is refused before the walk, with why.
TEST_F(EstimateRun, AVolumeWithoutACompressorIsRefusedWithTheReason) {
    struct Case {
        TCompressionModel model;
        const char* why;
    } cases[] = {
        {{TCompressionFormat::None, 4096, "no compression here"}, "no compression here"},
        // The sim has no LZNT1 compressor of its own.
        {{TCompressionFormat::Lznt1, 4096, {}}, "no LZNT1 compressor"},
    };
    sim.AddFile("C:\\Data\\a.txt", 100 * KiB);
    TfrmBrimblemain& e = Engine();
    ApplyDefaults(e.Options());
    e.LogFile().SetLogLevel(llNotice);
    e.SetEstimateOnly(true);
    for (const Case& c : cases) {
        sim.SetCompressionModel("C:\\", c.model);
        EXPECT_NE(e.EstimateRefusal("C:\\Data\\").find(c.why), std::string::npos) << c.why;
        EXPECT_EQ(e.GoScanPath("C:\\Data"), TScanStart::ssWrongDrive) << c.why;
        EXPECT_NE(sim.Content(e.LogFile().FileName()).find(c.why), std::string::npos) << c.why;
        e.StopScan();
    }
    EXPECT_FALSE(sim.IsCompressed("C:\\Data\\a.txt"));
}

// The files are estimated on worker threads while the walk goes on; a Stop still counts every
// file handed over before it, and the log keeps the walk's order.
TEST_F(EstimateRun, AStopCountsEveryFileHandedOverInTheWalksOrder) {
    if (!TBlockCompressor::Available()) GTEST_SKIP() << "built without zstd";
    const std::string dir = "C:\\Data\\";
    constexpr int kFiles = 40;
    for (int i = 0; i < kFiles; ++i)
        sim.AddFileWithContent(dir + "f" + std::to_string(i) + ".txt", Text(100 * KiB, i));
    TfrmBrimblemain& e = Engine();
    ApplyDefaults(e.Options());
    e.LogFile().SetLogLevel(2);
    e.SetEstimateOnly(true);
    StartPausedDriveScan(e, view);
    for (int i = 0; i < kFiles; ++i) {
        const auto entry = sim.FindEntry(dir + "f" + std::to_string(i) + ".txt");
        ASSERT_TRUE(entry.has_value());
        e.ProcessFoundFile(nullptr, dir, *entry);
    }
    e.spdbtnStopClick();
    loop.RunUntil([&] { return !e.ScanRunning(); });

    const TStats& stats = e.Stats();
    EXPECT_EQ(stats.FilesOnDisk_Count, kFiles);
    EXPECT_EQ(stats.FilesToBeCompressed_Count, kFiles);
    EXPECT_EQ(stats.CompressedFiles_Count, kFiles);
    EXPECT_EQ(stats.CompressedFiles_OldSize, kFiles * 100 * KiB);
    const std::string log = sim.Content(e.LogFile().FileName());
    std::size_t at = 0;
    for (int i = 0; i < kFiles; ++i) {
        at = log.find("f" + std::to_string(i) + ".txt] estimate:", at);
        ASSERT_NE(at, std::string::npos) << "file " << i << " out of order:\n" << log;
    }
}

// Of many alike files only a share is read; the others are predicted from them, and a group
// whose files gain nothing is predicted to gain nothing, so a real run's undo holds for it.
TEST_F(EstimateRun, PredictsMostFilesOfAGroupFromTheOnesItReads) {
    if (!TBlockCompressor::Available()) GTEST_SKIP() << "built without zstd";
    constexpr int kFiles = 80;
    int64_t wholeBefore = 0;
    int64_t wholeAfter = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::string text = Text(40 * KiB, 100 + i);
        sim.AddFileWithContent("C:\\Data\\t" + std::to_string(i) + ".txt", text);
        sim.AddFileWithContent("C:\\Data\\n" + std::to_string(i) + ".csv", Noise(40 * KiB, i));
        wholeBefore += 40 * KiB;
        wholeAfter += Estimate(text);
    }
    TfrmBrimblemain& e = Engine();
    ApplyDefaults(e.Options());
    e.LogFile().SetLogLevel(2);
    e.SetEstimateOnly(true);
    ASSERT_EQ(e.GoScanPath("C:\\Data"), TScanStart::ssStarted);
    ASSERT_TRUE(RunToEnd());

    const TStats& stats = e.Stats();
    EXPECT_EQ(stats.FilesToBeCompressed_Count, kFiles); // the noise is undone
    EXPECT_EQ(stats.CompressedFiles_Count, kFiles);
    EXPECT_EQ(stats.CompressedFiles_OldSize, wholeBefore);
    const auto saving = static_cast<double>(wholeBefore - wholeAfter);
    EXPECT_NEAR(static_cast<double>(stats.PreservedSpace_Size), saving, saving * 0.03);
    const std::string log = sim.Content(e.LogFile().FileName());
    std::size_t predicted = 0;
    for (std::size_t at = 0; (at = log.find("predicted from its group", at)) != std::string::npos;
         ++at)
        ++predicted;
    EXPECT_GT(predicted, kFiles); // most of both groups
}

// A file with two names: the estimate counts the first with its predicted size and the
// second as stored compressed already, as a real run finds it after compressing the first.
// A second estimate changed nothing, so it counts the same.
TEST_F(EstimateRun, CountsAFileWithTwoNamesOnceOnEveryRun) {
    if (!TBlockCompressor::Available()) GTEST_SKIP() << "built without zstd";
    const std::string text = Text(100 * KiB);
    for (const char* name : {"C:\\Data\\a.txt", "C:\\Data\\b.txt"}) {
        sim.AddFileWithContent(name, text);
        sim.SetLinkedFile(name, {7, 42});
    }
    TfrmBrimblemain& e = Engine();
    ApplyDefaults(e.Options());
    e.SetEstimateOnly(true);
    const int64_t after = Estimate(text);
    for (int run = 1; run <= 2; ++run) {
        ASSERT_EQ(e.GoScanPath("C:\\Data"), TScanStart::ssStarted);
        ASSERT_TRUE(RunToEnd());
        const TStats& stats = e.Stats();
        EXPECT_EQ(stats.FilesToBeCompressed_Count, 2) << "run " << run;
        EXPECT_EQ(stats.CompressedFiles_Count, 2) << "run " << run;
        EXPECT_EQ(stats.CompressedFiles_OldSize, 100 * KiB + after) << "run " << run;
        EXPECT_EQ(stats.CompressedFiles_Size, 2 * after) << "run " << run;
        // The data shrinks once.
        EXPECT_EQ(stats.PreservedSpace_Size, 100 * KiB - after) << "run " << run;
    }
}

// The workers read and compress at the scan's priority, not at the one they started with.
TEST_F(EstimateRun, TheWorkersRunAtTheScansPriority) {
    if (!TBlockCompressor::Available()) GTEST_SKIP() << "built without zstd";
    sim.AddFileWithContent("C:\\Data\\a.txt", Text(100 * KiB));
    TfrmBrimblemain& e = Engine();
    ApplyDefaults(e.Options());
    e.Options().Priority = 1;
    sim.SetCurrentThreadPriority(3); // only a worker sets it again
    e.SetEstimateOnly(true);
    ASSERT_EQ(e.GoScanPath("C:\\Data"), TScanStart::ssStarted);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(e.Stats().CompressedFiles_Count, 1);
    EXPECT_EQ(sim.ThreadPriority(), 1);
}

} // namespace
} // namespace brimble::test
