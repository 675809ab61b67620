// Excluded folders hold from the moment the options are applied: for a watcher's report
// and for a delayed pass as much as for a scan, with no scan having run.

#include "support/EngineFixture.h"

#include <gtest/gtest.h>
#include <string>

namespace brimble::test {
namespace {

const std::string kTemp = "C:\\Users\\u\\AppData\\Local\\Temp\\t.txt";
const std::string kData = "C:\\Data\\a.txt";

class ExcludedFolders : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        TBrimbleOptions& o = Engine().Options();
        o.FilterIncluding = "txt";
        o.SmartCompressMode = TSmartCompressMode::scmInteractive;
        o.CompressionDelay = 0; // a report is handled before FileChanged returns
        o.ExcludeFoldersEnabled = true;
        o.ExcludeFolders = {"%temp%="};
        for (const std::string& f : {kTemp, kData})
            sim.AddFile(f, 100'000);
        Engine().OptionsChanged(); // as at program start
    }
    bool Delayed(const std::string& f) {
        return Engine().CompressList(TListKind::lkDelayed)->IndexOfName(f) != TCompressList::npos;
    }
    // A pass over the delayed list as the timers start it, outside a scan.
    void DelayedPass() { Engine().ProcessDelayedFiles(false, false); }
};

TEST_F(ExcludedFolders, AReportFromAnExcludedFolderIsIgnoredBeforeAnyScan) {
    Engine().FileChanged(nullptr, kTemp);
    Engine().FileChanged(nullptr, kData);
    EXPECT_FALSE(sim.IsCompressed(kTemp));
    EXPECT_FALSE(Delayed(kTemp));
    EXPECT_TRUE(Engine().CompressList(TListKind::lkLag)->Empty());
    EXPECT_TRUE(sim.IsCompressed(kData));
}

TEST_F(ExcludedFolders, ADelayedPassFollowsTheOptionsAsTheyAreApplied) {
    // An entry from an earlier run, before the folder was excluded.
    Engine().AddToList(TListKind::lkDelayed, kTemp);
    DelayedPass();
    EXPECT_FALSE(sim.IsCompressed(kTemp));

    // Taking the folder off the list applies at the next pass, still without a scan.
    Engine().Options().ExcludeFolders.clear();
    Engine().OptionsChanged();
    Engine().AddToList(TListKind::lkDelayed, kTemp);
    DelayedPass();
    EXPECT_TRUE(sim.IsCompressed(kTemp));
}

} // namespace
} // namespace brimble::test
