// Where a folder scan goes: excluded folders are refused before they are listed, the walk
// stays on the file system it started on, folders it cannot list are logged, and the
// directory check reads the options as they were when the scan started.

#include "options/OptionsTable.h"
#include "support/EngineFixture.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <string>

namespace brimble::test {
namespace {

using enum TScanStart;

class ScanPaths : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        sim.SetEnvironmentVariable("temp", std::string("C:\\Data\\Tmp"));
        MakeEngine("-d:2");

        sim.AddFile("C:\\Data\\a.txt", 100'000);
        sim.AddFile("C:\\Data\\Skip\\e.txt", 100'000);
        sim.AddFile("C:\\Data\\Skip\\Deep\\e2.txt", 100'000);
        sim.AddFile("C:\\Data\\Tmp\\f.txt", 100'000);
    }

    void MakeEngine(const std::string& logSwitch) {
        engine.reset();
        sim.SetCommandLineArguments({logSwitch});
        Engine();
        ApplyDefaults(engine->Options());
        engine->Options().ExcludeFolders.push_back("C:\\Data\\Skip=");
    }

    std::string LogText() { return sim.Content(engine->LogFile().FileName()); }
};

TEST_F(ScanPaths, AnExcludedFolderIsNeverListed) {
    std::mutex lock;
    std::set<std::string> listed;
    sim.SetListingHook([&](const std::string& dir, const std::string&) {
        std::lock_guard guard(lock);
        listed.insert(dir);
    });
    ASSERT_EQ(engine->GoScanPath("C:\\Data"), ssStarted);
    ASSERT_TRUE(RunToEnd());
    sim.SetListingHook(nullptr);

    EXPECT_TRUE(sim.IsCompressed("C:\\Data\\a.txt"));
    EXPECT_EQ(listed, (std::set<std::string>{"C:\\Data\\"}));
}

TEST_F(ScanPaths, DotsInTheScanPathCannotLeadPastAnExcludedFolder) {
    struct Case {
        const char* path;
        bool compressesE;
    } cases[] = {
        {"C:\\Other\\..\\Data\\Skip", false},
        {"C:\\Data\\.\\\\Skip\\Deep\\..", false},
        {"C:\\Data\\Skip\\..\\Skip", false},
        {"C:\\..\\..\\Data\\Skip", false}, // ".." above the root stays at the root
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_EQ(engine->GoScanPath(c.path), ssStarted);
        ASSERT_TRUE(RunToEnd());
        EXPECT_EQ(sim.IsCompressed("C:\\Data\\Skip\\e.txt"), c.compressesE);
        EXPECT_FALSE(sim.IsCompressed("C:\\Data\\Skip\\Deep\\e2.txt"));
    }
    // The normalised path still reaches the folder it names.
    ASSERT_EQ(engine->GoScanPath("C:\\Data\\Skip\\..\\Tmp\\..\\."), ssStarted);
    ASSERT_TRUE(RunToEnd());
    EXPECT_TRUE(sim.IsCompressed("C:\\Data\\a.txt"));
}

TEST_F(ScanPaths, TheWalkStaysOnItsVolumeAndLogsWhatItLeavesOut) {
    sim.AddFile("C:\\Data\\Mnt\\m.txt", 100'000);
    sim.AddFile("C:\\Data\\Mnt\\Sub\\m2.txt", 100'000);
    sim.SetMountPoint("C:\\Data\\Mnt", true);
    sim.AddFile("C:\\Data\\Locked\\l.txt", 100'000);
    sim.SetUnreadable("C:\\Data\\Locked", true);

    const std::string skipped = "Skipped mount point \"C:\\Data\\Mnt\\\"";
    const std::string unlistable = "Cannot list folder \"C:\\Data\\Locked\\\": Access is denied";

    // At log level 1 only the folder that could not be listed is worth a line.
    MakeEngine("-d:1");
    ASSERT_EQ(engine->GoScanPath("C:\\Data"), ssStarted);
    ASSERT_TRUE(RunToEnd());
    std::string log = LogText();
    EXPECT_EQ(log.find(skipped), std::string::npos) << log;
    EXPECT_NE(log.find(unlistable), std::string::npos) << log;

    MakeEngine("-d:2");
    ASSERT_EQ(engine->GoScanPath("C:\\Data"), ssStarted);
    ASSERT_TRUE(RunToEnd());
    log = LogText();
    EXPECT_NE(log.find(skipped), std::string::npos) << log;

    EXPECT_TRUE(sim.IsCompressed("C:\\Data\\a.txt"));
    EXPECT_FALSE(sim.IsCompressed("C:\\Data\\Mnt\\m.txt"));
    EXPECT_FALSE(sim.IsCompressed("C:\\Data\\Mnt\\Sub\\m2.txt"));
    EXPECT_TRUE(engine->CompressList(TListKind::lkDelayed)->Empty());

    // A scan started inside the mounted volume walks it.
    ASSERT_EQ(engine->GoScanPath("C:\\Data\\Mnt"), ssStarted);
    ASSERT_TRUE(RunToEnd());
    EXPECT_TRUE(sim.IsCompressed("C:\\Data\\Mnt\\Sub\\m2.txt"));
}

TEST_F(ScanPaths, OptionsChangedDuringAScanDoNotReachItsWalk) {
    for (int i = 0; i < 300; ++i) {
        const std::string folder = "C:\\Data\\F" + std::to_string(i) + "\\";
        sim.AddFile(folder + "x.txt", 100'000);
        sim.AddDirectory(folder + "Empty");
    }
    ASSERT_EQ(engine->GoScanPath("C:\\Data"), ssStarted);
    int round = 0;
    ASSERT_TRUE(RunToEnd([&] {
        // What the options dialog does on the UI thread while the scan thread walks.
        TBrimbleOptions& options = engine->Options();
        options.ExcludeFoldersEnabled = ++round % 2 == 0;
        options.ExcludeFolders = {"C:\\Data\\F" + std::to_string(round % 300) + "=", "%tmp%="};
        options.FilterIncluding = round % 3 == 0 ? "txt" : "";
    }));
    // The folders excluded when the scan started stayed excluded.
    EXPECT_FALSE(sim.IsCompressed("C:\\Data\\Skip\\e.txt"));
    EXPECT_FALSE(sim.IsCompressed("C:\\Data\\Tmp\\f.txt"));
}

TEST_F(ScanPaths, TheEntryThatCoversAFolderIsNamed) {
    struct Case {
        const char* folder;
        const char* entry; // empty: none
        const char* expanded;
    } cases[] = {
        {"C:\\Data\\Tmp", "%temp%=", "C:\\Data\\Tmp\\"},
        {"c:\\data\\tmp\\inner\\", "%temp%=", "C:\\Data\\Tmp\\"},
        {"C:\\Data\\Other\\..\\Skip\\Deep", "C:\\Data\\Skip=", "C:\\Data\\Skip\\"},
        {"C:\\Data", "", ""},
        {"C:\\Data\\Skipped", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        const auto covering = engine->CoveringExcludedFolder(c.folder);
        if (*c.entry == '\0') {
            EXPECT_FALSE(covering);
            continue;
        }
        ASSERT_TRUE(covering);
        EXPECT_EQ(covering->Entry, c.entry);
        EXPECT_EQ(covering->Folder, c.expanded);
    }
    engine->Options().ExcludeFoldersEnabled = false;
    EXPECT_FALSE(engine->CoveringExcludedFolder("C:\\Data\\Tmp"));
}

// A run tells how many files failed for now and why, so that a command can say it beside
// totals that show less than expected; the next run starts counting afresh.
TEST_F(ScanPaths, FilesThatFailedForNowAreCountedWithTheirReason) {
    sim.AddFile("C:\\Data\\b.txt", 100'000);
    sim.SetLocked("C:\\Data\\a.txt", true);
    sim.SetLocked("C:\\Data\\b.txt", true);
    ASSERT_EQ(engine->GoScanPath("C:\\Data"), ssStarted);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(engine->RunFailures().Count, 2);
    EXPECT_FALSE(engine->RunFailures().LastReason.empty());

    sim.SetLocked("C:\\Data\\a.txt", false);
    sim.SetLocked("C:\\Data\\b.txt", false);
    ASSERT_EQ(engine->GoScanPath("C:\\Data"), ssStarted);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(engine->RunFailures().Count, 0);
}

} // namespace
} // namespace brimble::test
