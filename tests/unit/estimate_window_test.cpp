// An estimate started from the window: one run that predicts and changes nothing, while the
// background and the next Go go on compressing for real.

#include "engine/TBlockCompressor.h"
#include "options/OptionsTable.h"
#include "support/EngineFixture.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace brimble::test {
namespace {

constexpr int64_t KiB = 1024;

class EstimateFromWindow : public EngineFixture {
protected:
    void SetUp() override {
        if (!TBlockCompressor::Available()) GTEST_SKIP() << "built without zstd";
        EngineFixture::SetUp();
        sim.AddFile("C:\\Data\\zeros.txt", 300 * KiB);
        sim.AddFile("C:\\Data\\more.txt", 200 * KiB);
        ApplyDefaults(Engine().Options());
        view.scanArea = ScanArea::saPath;
        view.scanPath = "C:\\Data";
    }
};

TEST_F(EstimateFromWindow, PredictsThenGoCompressesForReal) {
    TfrmBrimblemain& e = Engine();
    sim.ClearOperations();
    e.btnEstimateClick();
    ASSERT_TRUE(e.ScanRunning());
    EXPECT_FALSE(view.Enabled(ScanControl::btnEstimate));
    ASSERT_TRUE(RunToEnd());

    for (const std::string& operation : sim.Operations())
        EXPECT_EQ(operation.find("compress"), std::string::npos) << operation;
    EXPECT_FALSE(sim.IsCompressed("C:\\Data\\zeros.txt"));
    EXPECT_EQ(e.Stats().CompressedFiles_Count, 2);
    EXPECT_GT(e.Stats().PreservedSpace_Size, 400 * KiB);
    EXPECT_TRUE(e.RunIsEstimate());
    EXPECT_TRUE(view.totalsEstimated);
    EXPECT_EQ(view.status, e.MessageTexts().EstimateComplete);
    EXPECT_TRUE(view.Enabled(ScanControl::btnEstimate));

    e.spdbtnGoClick();
    ASSERT_TRUE(RunToEnd());
    EXPECT_TRUE(sim.IsCompressed("C:\\Data\\zeros.txt"));
    EXPECT_TRUE(sim.IsCompressed("C:\\Data\\more.txt"));
    EXPECT_EQ(e.Stats().CompressedFiles_Count, 2);
    EXPECT_FALSE(e.RunIsEstimate());
    EXPECT_FALSE(view.totalsEstimated);
    EXPECT_EQ(view.status, "");
}

// The engine is shared: a file the background compresses while an estimate is paused is
// compressed for real and stays out of the estimate's totals, and the walk's next file is
// still only estimated.
TEST_F(EstimateFromWindow, TheBackgroundWorksForRealDuringAnEstimate) {
    TfrmBrimblemain& e = Engine();
    sim.AddFile("C:\\Logs\\app.log", 100 * KiB);
    e.btnEstimateClick();
    e.spdbtnPauseClick();
    ASSERT_TRUE(e.ScanRunning());

    e.SmartCompress("C:\\Logs\\app.log");
    EXPECT_TRUE(sim.IsCompressed("C:\\Logs\\app.log"));
    EXPECT_EQ(e.Stats().FilesOnDisk_Count, 0);

    const auto entry = sim.FindEntry("C:\\Data\\zeros.txt");
    ASSERT_TRUE(entry.has_value());
    e.ProcessFoundFile(nullptr, "C:\\Data\\", *entry);
    e.spdbtnStopClick();
    ASSERT_TRUE(RunToEnd());
    EXPECT_FALSE(sim.IsCompressed("C:\\Data\\zeros.txt"));
    EXPECT_EQ(e.Stats().FilesOnDisk_Count, 1);
    EXPECT_EQ(e.Stats().CompressedFiles_Count, 1);
}

TEST_F(EstimateFromWindow, AFolderThatCannotBeEstimatedIsRefusedWithTheReason) {
    TfrmBrimblemain& e = Engine();
    sim.SetCompressionModel("C:\\", {TCompressionFormat::None, 4096, "no model here"});
    e.btnEstimateClick();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, e.MessageTexts().CannotEstimate + " no model here");
    EXPECT_FALSE(e.ScanRunning());
}

TEST_F(EstimateFromWindow, EstimateDoesNotInterruptARunningScan) {
    TfrmBrimblemain& e = Engine();
    e.spdbtnGoClick();
    e.spdbtnPauseClick();
    e.btnEstimateClick();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, e.MessageTexts().ScanInProgress);
    EXPECT_FALSE(e.RunIsEstimate());
    e.spdbtnStopClick();
    ASSERT_TRUE(RunToEnd());
}

} // namespace
} // namespace brimble::test
