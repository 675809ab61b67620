// The directory scan thread on the sim platform with the standard UI loop on the test's
// thread: walk order, what is skipped, stopping, pausing, new paths, handler errors and the
// end of the thread.

#include "platform/sim/SimPlatform.h"
#include "threads/StdUiLoop.h"
#include "threads/TScanPathThread.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace brimble {
namespace {

using namespace std::chrono_literals;

const std::string Done = "<complete>";
const std::string DoneEmpty = "<complete, no file>";

// Records the priority requests and the thread that made them.
class PriorityRecorder final : public IProcess {
public:
    std::string ProgramPath() override { return {}; }
    std::vector<std::string> CommandLineArguments() override { return {}; }
    std::optional<std::string> EnvironmentVariable(const std::string&) override { return {}; }
    std::string LocalAppDataDir() override { return {}; }
    std::optional<FileVersion> GetFileVersion(const std::string&) override { return {}; }
    OsValue<std::unique_ptr<IInstanceLock>> AcquireInstanceLock(const std::string&) override {
        return std::unique_ptr<IInstanceLock>();
    }
    void SetProcessPriority(PriorityLevel) override {}
    void SetCurrentThreadPriority(PriorityLevel level) override {
        levels.push_back(level);
        threads.push_back(std::this_thread::get_id());
    }
    OsResult SetAutostart(const std::string&, const std::string&, bool) override {
        return OsResult::Fail(1);
    }
    bool AutostartExists(const std::string&) override { return false; }
    uint32_t SetErrorMode(uint32_t) override { return 0; }
    void MessageBeep() override {}

    // Written on the scan thread; read by the test after a completion hand-over.
    std::vector<PriorityLevel> levels;
    std::vector<std::thread::id> threads;
};

class ScanThreadTest : public ::testing::Test {
protected:
    void SetUp() override { sim.AddVolume("C:\\", DriveType::Fixed); }

    // A new thread on Root whose handlers record into Events; not started.
    TScanPathThread& Make(const std::string& root) {
        thread.reset();
        events.clear();
        thread = std::make_unique<TScanPathThread>(sim, loop, root);
        thread->OnFileFound = [this](TScanPathThread& sender, const std::string& path,
                                     const TFileAttrRec& rec) {
            EXPECT_EQ(&sender, thread.get());
            EXPECT_TRUE(loop.IsUiThread());
            EXPECT_EQ(loop.PendingMessages(), 0u); // one hand-over at a time
            events.push_back(path + rec.Name);
            if (onFile) onFile(path + rec.Name);
        };
        thread->OnComplete = [this](TScanPathThread&, bool scanOK) {
            EXPECT_TRUE(loop.IsUiThread());
            events.push_back(scanOK ? Done : DoneEmpty);
            ++completions;
            if (onComplete) onComplete();
        };
        return *thread;
    }

    // Runs the UI loop until Done; gives up after five minutes (sanitizer builds on a busy
    // machine are slow) so that a fault fails the test instead of hanging it.
    bool RunUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 5min;
        loop.RunUntil([&] { return done() || std::chrono::steady_clock::now() > deadline; });
        return done();
    }

    // Until the thread has reported its N-th completion and fallen asleep.
    bool WaitAsleepAfter(int n) {
        return RunUntil([&] { return completions >= n && thread->Idle(); });
    }

    // Serves the UI loop for a while, for checks that nothing happens.
    void ServeFor(std::chrono::milliseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        loop.RunUntil([&] { return std::chrono::steady_clock::now() > end; });
    }

    std::vector<std::string> WalkOnce(const std::string& root) {
        Make(root).Start();
        EXPECT_TRUE(WaitAsleepAfter(completions + 1));
        return events;
    }

    using Events = std::vector<std::string>;

    sim::SimPlatform sim;
    StdUiLoop loop{sim};
    Events events;
    int completions = 0;
    std::function<void(const std::string& file)> onFile;
    std::function<void()> onComplete;
    std::unique_ptr<TScanPathThread> thread; // last: ends before what its handlers use
};

TEST_F(ScanThreadTest, WalksDepthFirstInTheListingOrder) {
    sim.AddFile("C:\\Root\\a.txt", 10);
    sim.AddFile("C:\\Root\\sub\\b.txt", 10);
    sim.AddFile("C:\\Root\\z.txt", 10);
    sim.SetListingOrder("C:\\Root", {"z.txt", "sub", "a.txt"});
    // The root is given without its delimiter; every Path ends in one.
    EXPECT_EQ(WalkOnce("C:\\Root"),
              (Events{"C:\\Root\\z.txt", "C:\\Root\\sub\\b.txt", "C:\\Root\\a.txt", Done}));
    sim.SetListingOrder("C:\\Root", {"sub", "a.txt"});
    EXPECT_EQ(WalkOnce("C:\\Root\\"),
              (Events{"C:\\Root\\sub\\b.txt", "C:\\Root\\a.txt", "C:\\Root\\z.txt", Done}));
}

TEST_F(ScanThreadTest, SkipsDotNamedDirectoriesButReportsDotNamedFiles) {
    sim.AddFile("C:\\Root\\.git\\config", 10);
    sim.AddFile("C:\\Root\\.git\\objects\\o1", 10);
    sim.AddFile("C:\\Root\\.gitignore", 10);
    sim.AddFile("C:\\Root\\src\\.cache\\c.bin", 10);
    sim.AddFile("C:\\Root\\src\\m.c", 10, fa::Archive | fa::Hidden | fa::System);
    EXPECT_EQ(WalkOnce("C:\\Root"), (Events{"C:\\Root\\.gitignore", "C:\\Root\\src\\m.c", Done}));
}

TEST_F(ScanThreadTest, ScanWithoutAFileCompletesWithScanOKFalse) {
    struct Case {
        const char* name;
        std::string root;
        std::function<void()> setUp;
    };
    const std::vector<Case> cases = {
        {"empty root", "C:\\Root", [&] { sim.AddDirectory("C:\\Root"); }},
        {"missing root", "C:\\Root", [] {}},
        {"only folders", "C:\\Root", [&] { sim.AddDirectory("C:\\Root\\a\\b"); }},
        {"unreadable root", "C:\\Root",
         [&] {
             sim.AddFile("C:\\Root\\f.txt", 1);
             sim.SetUnreadable("C:\\Root", true);
         }},
        // Not the current drive's root: nothing at all.
        {"empty path", "", [&] { sim.AddFile("C:\\f.txt", 1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim.RemoveFile("C:\\Root");
        c.setUp();
        EXPECT_EQ(WalkOnce(c.root), Events{DoneEmpty});
        EXPECT_FALSE(thread->ScanOK());
        EXPECT_TRUE(thread->ScanComplete());
    }
}

TEST_F(ScanThreadTest, NeitherFollowsNorReportsLinksAndReparsePoints) {
    sim.AddFile("C:\\Root\\a.txt", 10);
    sim.AddFile("C:\\Other\\secret.txt", 10);
    sim.AddDirectoryLink("C:\\Root\\loop", "C:\\Root");  // would walk forever
    sim.AddDirectoryLink("C:\\Root\\away", "C:\\Other"); // would leave the scanned area
    sim.AddFile("C:\\Root\\link.txt", 0, fa::Archive | fa::ReparsePoint);
    std::vector<std::string> dirs;
    Make("C:\\Root").OnBeforeDirectoryEnter = [&](TScanPathThread&, const std::string& dir, bool&) {
        dirs.push_back(dir);
    };
    thread->Start();
    ASSERT_TRUE(WaitAsleepAfter(1));
    EXPECT_EQ(events, (Events{"C:\\Root\\a.txt", Done}));
    EXPECT_EQ(dirs, std::vector<std::string>{"C:\\Root\\"});
}

TEST_F(ScanThreadTest, DirectoryEventRunsOnTheScanThreadAndCanRefuseAnyFolderIncludingTheRoot) {
    sim.AddFile("C:\\Root\\keep.txt", 10);
    sim.AddFile("C:\\Root\\skip\\x.txt", 10);
    sim.AddFile("C:\\Root\\skip\\deeper\\y.txt", 10);
    struct Case {
        std::string refused;
        Events expectedEvents;
        std::vector<std::string> expectedDirs;
    };
    const std::vector<Case> cases = {
        {"C:\\Root\\skip\\", {"C:\\Root\\keep.txt", Done}, {"C:\\Root\\", "C:\\Root\\skip\\"}},
        {"C:\\Root\\", {DoneEmpty}, {"C:\\Root\\"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refused);
        std::vector<std::string> dirs;
        bool onUiThread = false;
        Make("C:\\Root").OnBeforeDirectoryEnter = [&](TScanPathThread&, const std::string& dir,
                                                      bool& allowEnter) {
            EXPECT_TRUE(allowEnter);
            onUiThread = onUiThread || loop.IsUiThread();
            dirs.push_back(dir);
            allowEnter = dir != c.refused;
        };
        thread->Start();
        ASSERT_TRUE(WaitAsleepAfter(completions + 1));
        EXPECT_EQ(events, c.expectedEvents);
        EXPECT_EQ(dirs, c.expectedDirs);
        EXPECT_FALSE(onUiThread);
    }
}

TEST_F(ScanThreadTest, AbortFinishesTheFileBeingHandledAndCompletesOnce) {
    for (const char* name : {"f1", "f2", "f3", "f4"})
        sim.AddFile(std::string("C:\\Root\\") + name, 10);
    onFile = [&](const std::string& file) {
        if (file == "C:\\Root\\f2") thread->Abort();
    };
    EXPECT_EQ(WalkOnce("C:\\Root"), (Events{"C:\\Root\\f1", "C:\\Root\\f2", Done}));
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(thread->ScanOK());
}

TEST_F(ScanThreadTest, ScanDuringAWalkCompletesItAndThenWalksTheNewPath) {
    sim.AddFile("C:\\A\\a1", 10);
    sim.AddFile("C:\\A\\a2", 10);
    sim.AddFile("C:\\B\\b1", 10);
    onFile = [&](const std::string& file) {
        if (file == "C:\\A\\a1") thread->Scan("C:\\B");
    };
    Make("C:\\A").Start();
    ASSERT_TRUE(WaitAsleepAfter(2));
    EXPECT_EQ(events, (Events{"C:\\A\\a1", Done, "C:\\B\\b1", Done}));
}

TEST_F(ScanThreadTest, ScanFromTheCompletionHandlerWalksTheNextPathRightAfter) {
    sim.AddFile("C:\\A\\a1", 10);
    sim.AddFile("C:\\B\\b1", 10);
    onComplete = [&] {
        if (completions == 1) thread->Scan("C:\\B");
    };
    Make("C:\\A").Start();
    ASSERT_TRUE(WaitAsleepAfter(2));
    EXPECT_EQ(events, (Events{"C:\\A\\a1", Done, "C:\\B\\b1", Done}));

    // Once asleep, Scan wakes it; the same path may be walked again.
    thread->Scan("C:\\A");
    ASSERT_TRUE(WaitAsleepAfter(3));
    EXPECT_EQ(events.back(), Done);
    EXPECT_EQ(events[events.size() - 2], "C:\\A\\a1");
}

TEST_F(ScanThreadTest, AbortAfterScanEndsTheOwedWalkBeforeItReportsAFile) {
    // Stop pressed between the next drive's Scan and the start of its walk.
    sim.AddFile("C:\\A\\a1", 10);
    sim.AddFile("C:\\B\\b1", 10);
    onComplete = [&] {
        if (completions == 1) {
            thread->Scan("C:\\B");
            thread->Abort();
        }
    };
    Make("C:\\A").Start();
    ASSERT_TRUE(WaitAsleepAfter(2));
    EXPECT_EQ(events, (Events{"C:\\A\\a1", Done, DoneEmpty}));
}

// More files than one hand-over takes: all of them in the listing's order, and a Stop in
// the middle of a batch acts before the next file of that batch.
TEST_F(ScanThreadTest, BatchesKeepTheListingOrderAndStopActsBetweenTheirFiles) {
    Events all;
    for (int i = 0; i < 600; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "C:\\Root\\f%03d", i);
        sim.AddFile(name, 10);
        all.push_back(name);
    }
    onFile = [&](const std::string& file) {
        if (file == "C:\\Root\\f009") thread->Abort();
    };
    Events stopped(all.begin(), all.begin() + 10);
    stopped.push_back(Done);
    EXPECT_EQ(WalkOnce("C:\\Root"), stopped);

    onFile = nullptr;
    all.push_back(Done);
    const Events whole = WalkOnce("C:\\Root");
    EXPECT_TRUE(whole == all) << whole.size() << " events";
}

TEST_F(ScanThreadTest, PauseHoldsTheWalkAndReleaseGoesOnWhereItStopped) {
    for (const char* name : {"f1", "f2", "f3"})
        sim.AddFile(std::string("C:\\Root\\") + name, 10);
    std::atomic<int> entriesRead{0};
    sim.SetListingHook([&](const std::string&, const std::string&) { ++entriesRead; });
    int readAtPause = 0;
    onFile = [&](const std::string& file) {
        if (file != "C:\\Root\\f1") return;
        thread->Pause();
        readAtPause = entriesRead;
    };
    Make("C:\\Root").Start();
    ASSERT_TRUE(RunUntil([&] { return !events.empty(); }));
    ServeFor(50ms);
    EXPECT_EQ(events, Events{"C:\\Root\\f1"});
    EXPECT_EQ(entriesRead, readAtPause); // held: not a single entry more
    EXPECT_TRUE(thread->Paused());
    EXPECT_FALSE(thread->ScanComplete());

    thread->Release();
    ASSERT_TRUE(WaitAsleepAfter(1));
    EXPECT_EQ(events, (Events{"C:\\Root\\f1", "C:\\Root\\f2", "C:\\Root\\f3", Done}));

    // Releasing a pause never starts a walk.
    thread->Pause();
    thread->Release();
    ServeFor(20ms);
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(thread->Idle());
}

TEST_F(ScanThreadTest, WalksAVeryDeepTree) {
    std::string deep = "C:\\Root";
    // Deep enough that a walk by recursion would need megabytes of stack on Windows; the
    // sim's path lookups make each level cost time in proportion to the depth.
    for (int depth = 0; depth < 2000; ++depth)
        deep += "\\d";
    sim.AddFile(deep + "\\bottom.txt", 10);
    sim.AddFile("C:\\Root\\top.txt", 10);
    const Events walked = WalkOnce("C:\\Root");
    // Compared as a whole, but not printed: the paths are 4000 characters long.
    EXPECT_TRUE(walked == (Events{deep + "\\bottom.txt", "C:\\Root\\top.txt", Done}))
        << walked.size() << " events, the last: " << (walked.empty() ? "" : walked.back());
}

TEST_F(ScanThreadTest, FoldersThatVanishOrTurnUnreadableDuringTheWalkAreSkipped) {
    struct Case {
        const char* name;
        std::function<void(const std::string& file)> change;
        Events expected;
    };
    const std::vector<Case> cases = {
        {"removed before it is reached",
         [&](const std::string& file) {
             if (file == "C:\\Root\\a.txt") sim.RemoveFile("C:\\Root\\sub");
         },
         {"C:\\Root\\a.txt", "C:\\Root\\z.txt", Done}},
        {"unreadable before it is reached",
         [&](const std::string& file) {
             if (file == "C:\\Root\\a.txt") sim.SetUnreadable("C:\\Root\\sub", true);
         },
         {"C:\\Root\\a.txt", "C:\\Root\\z.txt", Done}},
        // The files of one listing go over together, as a system's listing hands out its
        // entries in chunks: what was listed before the folder went is still reported.
        {"removed while it is listed",
         [&](const std::string& file) {
             if (file == "C:\\Root\\sub\\b1.txt") sim.RemoveFile("C:\\Root\\sub");
         },
         {"C:\\Root\\a.txt", "C:\\Root\\sub\\b1.txt", "C:\\Root\\sub\\b2.txt", "C:\\Root\\z.txt",
          Done}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim.RemoveFile("C:\\Root");
        sim.AddFile("C:\\Root\\a.txt", 10);
        sim.AddFile("C:\\Root\\sub\\b1.txt", 10);
        sim.AddFile("C:\\Root\\sub\\b2.txt", 10);
        sim.AddFile("C:\\Root\\z.txt", 10);
        onFile = c.change;
        EXPECT_EQ(WalkOnce("C:\\Root"), c.expected);
    }
}

TEST_F(ScanThreadTest, HandlerErrorEndsTheWalkAndTheThreadGoesOn) {
    sim.AddFile("C:\\Root\\f1", 10);
    sim.AddFile("C:\\Root\\f2", 10);
    sim.AddFile("C:\\Root\\sub\\f3", 10);
    const Events fullWalk{"C:\\Root\\f1", "C:\\Root\\f2", "C:\\Root\\sub\\f3", Done};
    struct Case {
        const char* name;
        std::function<void()> breakIt;
        Events expected;
    };
    bool fileThrows = false, completionThrows = false, directoryThrows = false;
    const std::vector<Case> cases = {
        {"file handler", [&] { fileThrows = true; }, {"C:\\Root\\f1", Done}},
        {"completion handler", [&] { completionThrows = true; }, fullWalk},
        {"directory event",
         [&] { directoryThrows = true; },
         {"C:\\Root\\f1", "C:\\Root\\f2", Done}},
    };
    onFile = [&](const std::string&) {
        if (fileThrows) throw std::runtime_error("file handler failed");
    };
    onComplete = [&] {
        if (completionThrows) throw std::runtime_error("completion handler failed");
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fileThrows = completionThrows = directoryThrows = false;
        c.breakIt();
        Make("C:\\Root").OnBeforeDirectoryEnter = [&](TScanPathThread&, const std::string& dir,
                                                      bool&) {
            if (directoryThrows && dir == "C:\\Root\\sub\\")
                throw std::runtime_error("directory event failed");
        };
        thread->Start();
        ASSERT_TRUE(WaitAsleepAfter(completions + 1));
        EXPECT_EQ(events, c.expected);

        // The thread survived: the next walk is whole.
        fileThrows = completionThrows = directoryThrows = false;
        events.clear();
        thread->Scan("C:\\Root");
        ASSERT_TRUE(WaitAsleepAfter(completions + 1));
        EXPECT_EQ(events, fullWalk);
    }
}

TEST_F(ScanThreadTest, PriorityIsAppliedByTheScanThreadToItself) {
    sim.AddFile("C:\\Root\\f1", 10);
    PriorityRecorder process;
    std::thread::id scanThread;
    Make("C:\\Root").OnBeforeDirectoryEnter = [&](TScanPathThread&, const std::string&, bool&) {
        scanThread = std::this_thread::get_id();
    };
    thread->SetPriority(process, 1);
    thread->Start();
    ASSERT_TRUE(WaitAsleepAfter(1));
    thread->SetPriority(process, 5);
    thread->Scan("C:\\Root");
    ASSERT_TRUE(WaitAsleepAfter(2));
    EXPECT_EQ(process.levels, (std::vector<PriorityLevel>{1, 5}));
    for (const auto& id : process.threads)
        EXPECT_EQ(id, scanThread);
}

TEST_F(ScanThreadTest, TerminateWhileAsleepEndsTheThread) {
    sim.AddFile("C:\\Root\\f1", 10);
    WalkOnce("C:\\Root");
    thread->Terminate();
    thread->Scan("C:\\Root"); // too late: nothing more is walked
    thread.reset();           // joins
    EXPECT_EQ(completions, 1);
}

TEST_F(ScanThreadTest, DestroyingTheThreadEndsItInEveryState) {
    sim.AddFile("C:\\Root\\f1", 10);
    sim.AddFile("C:\\Root\\f2", 10);

    // Never started.
    Make("C:\\Root");
    thread.reset();

    // Waiting for the UI thread, which is the one destroying it: the report is not run.
    Make("C:\\Root").Start();
    while (loop.PendingMessages() == 0)
        std::this_thread::yield();
    thread.reset();
    EXPECT_TRUE(events.empty());

    // Paused in the middle of a walk.
    onFile = [&](const std::string&) { thread->Pause(); };
    Make("C:\\Root").Start();
    ASSERT_TRUE(RunUntil([&] { return !events.empty(); }));
    thread.reset();
    EXPECT_EQ(events, Events{"C:\\Root\\f1"});
    EXPECT_EQ(completions, 0);
}

} // namespace
} // namespace brimble
