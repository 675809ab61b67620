// A watcher's report as the engine handles it: ignored, queued on the delayed or the lag
// list, or compressed before the handler returns; and SmartCompress of one file.

#include "support/EngineFixture.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace brimble {
namespace {

const std::string kFile = "C:\\Data\\a.txt";

class SmartQueue : public test::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        TBrimbleOptions& o = Engine().Options();
        o.FilterIncluding = "txt";
        o.CompressUnfiltered = false;
        o.SmartCompressMode = TSmartCompressMode::scmInteractive;
        o.CompressionDelay = 0;
        Engine().LogFile().SetLogLevel(2);
        sim.AddFile(kFile, 100'000);
    }

    void Report(const std::string& name) { Engine().FileChanged(nullptr, name); }
    std::vector<std::string> Entries(const TCompressList& list) {
        return {list.begin(), list.end()};
    }
    std::string LogText() { return sim.Content(Engine().LogFile().FileName()); }
};

TEST_F(SmartQueue, TheModeDecidesWhereAReportGoes) {
    const struct {
        const char* What;
        TSmartCompressMode Mode;
        int32_t Delay;
        bool Delayed, Lagged, CompressedNow;
    } cases[] = {
        {"on idle", TSmartCompressMode::scmOnIdle, 0, true, false, false},
        {"interactive with delay", TSmartCompressMode::scmInteractive, 30, false, true, false},
        {"interactive without delay", TSmartCompressMode::scmInteractive, 0, false, false, true},
        {"negative delay", TSmartCompressMode::scmInteractive, -5, false, false, true},
        {"disabled", TSmartCompressMode::scmDisabled, 0, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        sim.RemoveFile(kFile);
        sim.AddFile(kFile, 100'000);
        Engine().RemoveFromList(TListKind::lkDelayed, kFile); // what the case before queued
        Engine().RemoveFromList(TListKind::lkLag, kFile);
        Engine().Options().SmartCompressMode = c.Mode;
        Engine().Options().CompressionDelay = c.Delay;

        Report(kFile);
        EXPECT_EQ(Engine().CompressList(TListKind::lkDelayed)->IndexOfName(kFile) !=
                      TCompressList::npos,
                  c.Delayed);
        EXPECT_EQ(Engine().CompressList(TListKind::lkLag)->IndexOfName(kFile) !=
                      TCompressList::npos,
                  c.Lagged);
        EXPECT_EQ(sim.IsCompressed(kFile), c.CompressedNow);
    }
    EXPECT_NE(LogText().find("\t[FileChanged]: " + kFile), std::string::npos);
}

// The excluded folders hold from the start, not only once a scan has expanded them: the
// background mode must not compress the temporary folder until the first manual scan.
TEST_F(SmartQueue, ExcludedFoldersApplyToReportsAndDelayedPassesBeforeAnyScan) {
    const std::string temp = "C:\\Users\\u\\AppData\\Local\\Temp\\t.txt";
    sim.AddFile(temp, 100'000);
    Engine().Options().ExcludeFoldersEnabled = true;
    Engine().Options().ExcludeFolders = {"%temp%="};
    Engine().OptionsChanged(); // the start applies the options

    Report(temp);
    Engine().AddToList(TListKind::lkDelayed, temp);
    Engine().SmartCompress(temp); // as a delayed pass handles an entry
    EXPECT_FALSE(sim.IsCompressed(temp));
    Report(kFile);
    EXPECT_TRUE(sim.IsCompressed(kFile));
}

TEST_F(SmartQueue, ReportsThatAreIgnored) {
    TBrimbleOptions& o = Engine().Options();
    o.CompressUnfiltered = true;
    o.CompressionDelay = 30;
    sim.AddFile("C:\\Data\\NTLDR", 100'000);
    Engine().AddToList(TListKind::lkNever, "NTLDR");
    Engine().Log("Test started", 0);
    sim.SetFileSize(Engine().LogFile().FileName(), 100'000);
    // The log file would qualify if it were not the log.
    ASSERT_NE(Engine().GetCompressAction(Engine().LogFile().FileName()), TCompressAction::caNone);

    for (const std::string& name : {Engine().LogFile().FileName(), std::string("C:\\Data\\NTLDR"),
                                    std::string("C:\\Data\\gone.txt")}) {
        SCOPED_TRACE(name);
        Report(name);
    }
    EXPECT_TRUE(Engine().CompressList(TListKind::lkLag)->Empty());
    EXPECT_TRUE(Engine().CompressList(TListKind::lkDelayed)->Empty());
    EXPECT_EQ(LogText().find("[FileChanged]"), std::string::npos);
}

TEST_F(SmartQueue, ALaggedFileKeepsItsFirstStamp) {
    Engine().Options().CompressionDelay = 30;
    Report(kFile);
    const std::vector<std::string> first = Entries(*Engine().CompressList(TListKind::lkLag));
    sim.AdvanceMilliseconds(10'000);
    sim.SetFileSize(kFile, 200'000);
    Report(kFile);
    EXPECT_EQ(Entries(*Engine().CompressList(TListKind::lkLag)), first);
    EXPECT_FALSE(sim.IsCompressed(kFile));
}

TEST_F(SmartQueue, SmartCompressProcessesAListedFileAndForgetsAVanishedOne) {
    Engine().AddToList(TListKind::lkDelayed, kFile);
    Engine().AddToList(TListKind::lkDelayed, "C:\\Data\\gone.txt");

    // Being listed never stops a compression; success removes the entry.
    Engine().SmartCompress(kFile);
    EXPECT_TRUE(sim.IsCompressed(kFile));
    EXPECT_EQ(Engine().CompressList(TListKind::lkDelayed)->IndexOfName(kFile), TCompressList::npos);
    EXPECT_NE(LogText().find("\t[SmartCompress]: " + kFile), std::string::npos);

    // A file that went away loses its entry, silently.
    Engine().SmartCompress("C:\\Data\\gone.txt");
    EXPECT_TRUE(Engine().CompressList(TListKind::lkDelayed)->Empty());
    EXPECT_EQ(LogText().find("gone.txt"), std::string::npos);
}

TEST_F(SmartQueue, AFolderIsQueuedButNeverCompressed) {
    // Too small to compress, so the policy gives caDecompress, which is queued all the same.
    Engine().Options().SmartDecompress = TSmartDecompress::sdAllButCompress;
    Engine().Options().SmartCompressMode = TSmartCompressMode::scmOnIdle;
    const std::string folder = "C:\\Data\\New folder";
    sim.AddDirectory(folder);

    Report(folder);
    ASSERT_NE(Engine().CompressList(TListKind::lkDelayed)->IndexOfName(folder),
              TCompressList::npos);
    sim.ClearOperations();
    Engine().SmartCompress(folder);
    EXPECT_EQ(sim.Operations(), std::vector<std::string>{});
    EXPECT_EQ(Engine().CompressList(TListKind::lkDelayed)->IndexOfName(folder),
              TCompressList::npos);
}

} // namespace
} // namespace brimble
