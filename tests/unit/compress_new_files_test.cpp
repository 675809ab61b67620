// New files in the interactive mode: marked for compression as they are created when their
// name is admitted, and settled by the report of the finished file (kept, rewritten when
// data came before the mark, undone when the size rules or the gain say no).

#include "support/EngineFixture.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace brimble {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

const std::string kFile = "C:\\Data\\a.txt";

class CompressNewFiles : public test::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        TBrimbleOptions& o = Engine().Options();
        o.SmartCompressMode = TSmartCompressMode::scmInteractive;
        o.CompressionDelay = 0;
        o.CompressNewFiles = true;
        o.CompressNewFolders = true;
        o.FilterIncluding = "txt";
        o.CompressUnfiltered = false;
        o.MaxFileSizeFilteredEnable = true;
        o.MaxFileSizeFiltered = 1'000'000;
        Engine().LogFile().SetLogLevel(2);
        sim.AddDirectory("C:\\Data");
        sim.ClearOperations();
    }

    // A program creates the file: the watcher's first report.
    void Create(const std::string& name) {
        sim.BeginNewFile(name);
        Engine().FileCreated(nullptr, name);
    }
    // It writes and closes the file: the report of the finished file.
    void Finish(const std::string& name, int64_t size, double compressibility = 0.5) {
        sim.FinishNewFile(name, size, compressibility);
        Engine().FileChanged(nullptr, name);
    }
    int64_t OnDisk(const std::string& name) {
        return sim.FileSystem().GetCompressedSize(name).value();
    }
    std::string LogText() { return sim.Content(Engine().LogFile().FileName()); }
};

TEST_F(CompressNewFiles, ANewFileIsMarkedOnlyWhenItsNameIsAdmittedInTheInteractiveMode) {
    const std::string temp = "C:\\Users\\u\\AppData\\Local\\Temp\\t.txt";
    sim.AddDirectory("C:\\Users\\u\\AppData\\Local\\Temp");
    Engine().Options().ExcludeFoldersEnabled = true;
    Engine().Options().ExcludeFolders = {"%temp%="};
    Engine().OptionsChanged();
    Engine().NeverCompress("C:\\Data\\never.txt");
    const struct {
        const char* What;
        std::string Name;
        std::function<void(TBrimbleOptions&)> Set;
        bool Marked;
    } cases[] = {
        {"admitted", "C:\\Data\\new.txt", {}, true},
        {"extension not included", "C:\\Data\\new.bin", {}, false},
        {"excluded folder", temp, {}, false},
        {"never list", "C:\\Data\\never.txt", {}, false},
        {"option off", "C:\\Data\\off.txt", [](TBrimbleOptions& o) { o.CompressNewFiles = false; },
         false},
        {"on-idle mode", "C:\\Data\\idle.txt",
         [](TBrimbleOptions& o) { o.SmartCompressMode = TSmartCompressMode::scmOnIdle; }, false},
        {"interactive with a delay", "C:\\Data\\lag.txt",
         [](TBrimbleOptions& o) { o.CompressionDelay = 30; }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TBrimbleOptions saved = Engine().Options();
        if (c.Set) c.Set(Engine().Options());
        sim.ClearOperations();
        Create(c.Name);
        EXPECT_EQ(sim.IsCompressed(c.Name), c.Marked);
        EXPECT_EQ(sim.Operations(), c.Marked ? Strings{"mark " + c.Name} : Strings{});
        Engine().Options() = saved;
    }
    // Marking queues nothing: the finished report does the rest.
    EXPECT_EQ(Engine().CompressList(TListKind::lkLag)->Count(), 0u);
    EXPECT_EQ(Engine().CompressList(TListKind::lkDelayed)->Count(), 0u);
}

TEST_F(CompressNewFiles, AFileThatMayNotBeChangedIsLeftToTheFinishedReportWithoutAnError) {
    sim.AddFile(kFile, 0);
    sim.SetChangeRefused(kFile, true);
    Engine().FileCreated(nullptr, kFile);
    EXPECT_FALSE(sim.IsCompressed(kFile));
    EXPECT_TRUE(view.messages.empty());
    EXPECT_NE(LogText().find("[FileCreated]: " + kFile + " not marked for compression"),
              std::string::npos);
}

TEST_F(CompressNewFiles, TheFinishedFileKeepsItsMarkOrLosesItToTheSizeRulesAndTheGain) {
    const struct {
        const char* What;
        int64_t Size;
        double Compressibility;
        bool Kept;
    } cases[] = {
        {"compressible", 100'000, 0.5, true},
        {"smaller than a cluster", 1'000, 0.5, false},
        {"over the size limit", 2'000'000, 0.5, false},
        {"no gain", 100'000, 1.0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const std::string name = std::string("C:\\Data\\") + c.What + ".txt";
        Create(name);
        sim.ClearOperations();
        Finish(name, c.Size, c.Compressibility);
        EXPECT_EQ(sim.IsCompressed(name), c.Kept);
        // Compressed on its way in: never rewritten.
        EXPECT_EQ(sim.Operations(), c.Kept ? Strings{} : Strings{"unmark " + name});
        // Settled once: a later report of the file is handled as any other.
        Engine().FileChanged(nullptr, name);
        EXPECT_EQ(sim.IsCompressed(name), c.Kept);
    }
    EXPECT_EQ(Engine().CompressList(TListKind::lkDelayed)->Count(), 0u);
}

TEST_F(CompressNewFiles, DataWrittenBeforeTheMarkIsRewrittenSoTheWholeFileEndsCompressed) {
    sim.AddFile("C:\\Data\\whole.txt", 100'000);
    sim.SetCompression("C:\\Data\\whole.txt", true);
    const int64_t whole = OnDisk("C:\\Data\\whole.txt");

    sim.BeginNewFile(kFile);
    sim.SetFileSize(kFile, 50'000); // a fast writer: half the data is there before the mark
    Engine().FileCreated(nullptr, kFile);
    sim.ClearOperations();
    Finish(kFile, 100'000);
    EXPECT_EQ(sim.Operations(), Strings{"compress " + kFile});
    EXPECT_EQ(OnDisk(kFile), whole);
}

TEST_F(CompressNewFiles, AFailedRewriteIsRetriedFromTheDelayedListAndSettledThen) {
    sim.BeginNewFile(kFile);
    sim.SetFileSize(kFile, 50'000);
    Engine().FileCreated(nullptr, kFile);
    sim.FinishNewFile(kFile, 100'000);
    sim.SetLocked(kFile, true);
    Engine().FileChanged(nullptr, kFile);
    EXPECT_EQ(Engine().CompressList(TListKind::lkDelayed)->Count(), 1u);

    sim.SetLocked(kFile, false);
    sim.ClearOperations();
    Engine().SmartCompress(kFile); // as a pass over the delayed list does
    EXPECT_EQ(sim.Operations(), Strings{"compress " + kFile});
    EXPECT_EQ(Engine().CompressList(TListKind::lkDelayed)->Count(), 0u);
}

// A folder created meanwhile is marked too: what a program then creates in it starts out
// compressed however soon it is written, and is settled as a file marked on its own.
TEST_F(CompressNewFiles, ANewFolderPassesItsMarkOnToTheFilesCreatedInIt) {
    const std::string folder = "C:\\Data\\New";
    const std::string temp = "C:\\Users\\u\\AppData\\Local\\Temp\\Build";
    Engine().Options().ExcludeFoldersEnabled = true;
    Engine().Options().ExcludeFolders = {"%temp%="};
    Engine().OptionsChanged();
    sim.AddDirectory(folder);
    sim.AddDirectory(temp);
    sim.ClearOperations();
    Engine().FileCreated(nullptr, folder);
    Engine().FileCreated(nullptr, temp); // excluded: left alone
    EXPECT_EQ(sim.Operations(), Strings{"mark " + folder});

    const struct {
        const char* Name;
        int64_t Size;
        bool Kept;
    } cases[] = {
        {"big.txt", 100'000, true}, {"small.txt", 1'000, false}, {"x.bin", 100'000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string name = folder + "\\" + c.Name;
        sim.ClearOperations();
        Create(name);
        Finish(name, c.Size);
        EXPECT_EQ(sim.IsCompressed(name), c.Kept);
        EXPECT_EQ(sim.Operations(), c.Kept ? Strings{} : Strings{"unmark " + name});
    }
}

// The whole way: the sim's watcher reports the creation and then the finished file.
TEST_F(CompressNewFiles, TheWatcherReportsTheCreationBeforeTheFinishedFile) {
    Engine().RefreshDriveList();
    const auto runUntil = [&](const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 5min;
        loop.RunUntil([&] { return done() || std::chrono::steady_clock::now() > deadline; });
        return done();
    };
    ASSERT_TRUE(runUntil([&] { return sim.ChangeReaderCount() == 1; }));
    sim.BeginNewFile(kFile);
    ASSERT_TRUE(runUntil([&] { return sim.IsCompressed(kFile); }));
    sim.FinishNewFile(kFile, 1'000); // too small: the mark goes
    EXPECT_TRUE(runUntil([&] { return !sim.IsCompressed(kFile); }));
    Engine().StopMonitoring();
    EXPECT_EQ(sim.Operations(), (Strings{"mark " + kFile, "unmark " + kFile}));
}

} // namespace
} // namespace brimble
