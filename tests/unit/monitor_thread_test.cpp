// The change watcher on the sim platform with the standard UI loop on the test's thread:
// what is reported and with which path, repeats, lost changes, how the watcher ends and how
// its owner stops and destroys it.

#include "support/DelegatingPlatform.h"
#include "threads/StdUiLoop.h"
#include "threads/TMonitorFileChanged.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace brimble {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// The sim's change watching, with each read held until the test lets it go: the changes made
// before that arrive as one batch, and the next read begins only once the batch is handled.
class GatedPlatform final : public test::DelegatingPlatform, public IChangeWatching {
public:
    using DelegatingPlatform::DelegatingPlatform;

    IChangeWatching& ChangeWatching() override { return *this; }

    std::unique_ptr<IChangeReader> OpenChangeReader(const std::string& root,
                                                    uint32_t filter) override {
        std::unique_ptr<IChangeReader> inner = FSim.OpenChangeReader(root, filter);
        if (!inner) return nullptr;
        {
            std::lock_guard lock(FMutex);
            FFilters.push_back(filter);
        }
        return std::make_unique<Reader>(*this, std::move(inner));
    }

    void AllowRead() {
        std::lock_guard lock(FMutex);
        ++FPermits;
        FChanged.notify_all();
    }
    int ReadsBegun() const {
        std::lock_guard lock(FMutex);
        return FReadsBegun;
    }
    std::vector<uint32_t> Filters() const {
        std::lock_guard lock(FMutex);
        return FFilters;
    }

private:
    class Reader final : public IChangeReader {
    public:
        Reader(GatedPlatform& gate, std::unique_ptr<IChangeReader> inner)
            : FGate(gate), FInner(std::move(inner)) {}

        bool Read(std::vector<ChangeRecord>& records) override {
            {
                std::unique_lock lock(FGate.FMutex);
                ++FGate.FReadsBegun;
                FGate.FChanged.wait(lock, [this] { return FGate.FPermits > 0 || FWoken; });
                if (FWoken) return false;
                --FGate.FPermits;
            }
            return FInner->Read(records);
        }
        void Wake() override {
            {
                std::lock_guard lock(FGate.FMutex);
                FWoken = true;
                FGate.FChanged.notify_all();
            }
            FInner->Wake();
        }

    private:
        GatedPlatform& FGate;
        std::unique_ptr<IChangeReader> FInner;
        bool FWoken = false; // under the gate's mutex
    };

    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    int FPermits = 0;
    int FReadsBegun = 0;
    std::vector<uint32_t> FFilters;
};

class MonitorThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim.AddVolume("C:\\", DriveType::Fixed);
        sim.AddVolume("E:\\", DriveType::Removable);
        sim.AddDirectory("C:\\Users");
    }

    // A watcher of Root that records its reports; returns once it waits for its first read.
    TMonitorFileChanged& Watch(const std::string& root) {
        const int begun = platform.ReadsBegun();
        watcher = std::make_unique<TMonitorFileChanged>(
            platform, loop, root,
            [this](TMonitorFileChanged& sender, const std::string& fileName) {
                EXPECT_EQ(&sender, watcher.get());
                EXPECT_TRUE(loop.IsUiThread());
                reports.push_back(fileName);
                if (onReport) onReport(fileName);
            },
            [this](TMonitorFileChanged&) { ++lostBatches; });
        EXPECT_TRUE(RunUntil([&] { return platform.ReadsBegun() > begun || watcher->Ended(); }));
        return *watcher;
    }

    // Lets the watcher read what the sim queued so far and returns the reports of that batch
    // once it has been handled.
    Strings Deliver() {
        reports.clear();
        const int begun = platform.ReadsBegun();
        platform.AllowRead();
        EXPECT_TRUE(RunUntil([&] { return platform.ReadsBegun() > begun || watcher->Ended(); }));
        return reports;
    }

    // Serves the UI loop until Done; gives up after five minutes (sanitizer builds on a busy
    // machine are slow) so that a fault fails the test instead of hanging it.
    bool RunUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 5min;
        loop.RunUntil([&] { return done() || std::chrono::steady_clock::now() > deadline; });
        return done();
    }

    sim::SimPlatform sim;
    GatedPlatform platform{sim};
    StdUiLoop loop{sim};
    Strings reports;
    int lostBatches = 0;
    std::function<void(const std::string&)> onReport;
    std::unique_ptr<TMonitorFileChanged> watcher; // last: ends before what its handlers use
};

TEST_F(MonitorThreadTest, ReportsCreatedRenamedAndResizedItemsWithFullPaths) {
    sim.AddFile("C:\\Users\\old.txt", 1);
    sim.AddFile("C:\\Users\\gone.txt", 1);
    EXPECT_EQ(Watch("C:").Path(), "C:\\");
    EXPECT_EQ(watcher->Filter(), 75u);
    EXPECT_EQ(platform.Filters(), std::vector<uint32_t>{75u});

    sim.AddFile("C:\\Users\\a\\b.txt", 10);     // the new folder and the file
    sim.SetFileSize("C:\\Users\\a\\b.txt", 20); // same name, other action: no repeat
    sim.TouchFile("C:\\Users\\a\\b.txt");       // last-write time only: not seen
    sim.RenameFile("C:\\Users\\old.txt", "C:\\Users\\new.txt");
    sim.RemoveFile("C:\\Users\\gone.txt");
    EXPECT_EQ(Deliver(), (Strings{"C:\\Users\\a", "C:\\Users\\a\\b.txt", "C:\\Users\\a\\b.txt",
                                  "C:\\Users\\new.txt"}));
    EXPECT_FALSE(watcher->Ended());
}

// A creation is worth most while the file is still empty: those of a batch go first.
TEST_F(MonitorThreadTest, CreationsOfABatchGoToTheirOwnHandlerBeforeTheOtherReports) {
    Strings order;
    TMonitorHandlers handlers;
    handlers.OnFileChanged = [&](TMonitorFileChanged&, const std::string& name) {
        order.push_back("changed " + name);
    };
    handlers.OnFileCreated = [&](TMonitorFileChanged&, const std::string& name) {
        order.push_back("created " + name);
    };
    const int begun = platform.ReadsBegun();
    watcher = std::make_unique<TMonitorFileChanged>(platform, loop, "C:\\", std::move(handlers));
    ASSERT_TRUE(RunUntil([&] { return platform.ReadsBegun() > begun; }));

    sim.BeginNewFile("C:\\a.txt");
    sim.FinishNewFile("C:\\a.txt", 10);
    sim.BeginNewFile("C:\\b.txt");
    Deliver();
    EXPECT_EQ(order, (Strings{"created C:\\a.txt", "created C:\\b.txt", "changed C:\\a.txt"}));
}

TEST_F(MonitorThreadTest, RepeatsWithinTheWindowAreDropped) {
    sim.AddFile("C:\\a.txt", 1);
    sim.AddFile("C:\\x.txt", 1);
    Watch("C:\\");
    const std::string a = "C:\\a.txt";

    for (int size : {2, 3, 4})
        sim.SetFileSize(a, size);
    EXPECT_EQ(Deliver(), Strings{a});

    // The window counts from the end of the last report: 0.864 seconds.
    sim.AdvanceMilliseconds(500);
    sim.SetFileSize(a, 5);
    EXPECT_EQ(Deliver(), Strings{});
    sim.AdvanceMilliseconds(500);
    sim.SetFileSize(a, 6);
    EXPECT_EQ(Deliver(), Strings{a});

    // A record of another item in between, even an unreported one, ends the repeat.
    sim.SetFileSize(a, 7);
    sim.RemoveFile("C:\\x.txt");
    sim.SetFileSize(a, 8);
    EXPECT_EQ(Deliver(), Strings{a});
}

TEST_F(MonitorThreadTest, LostChangesAreAnnouncedOnceAndEndTheRepeat) {
    sim.AddFile("C:\\a.txt", 1);
    Watch("C:\\");
    sim.SetFileSize("C:\\a.txt", 2);
    EXPECT_EQ(Deliver(), Strings{"C:\\a.txt"});

    sim.AddFile("C:\\Users\\lost.txt", 2);
    sim.OverflowChanges("C:\\");
    EXPECT_EQ(Deliver(), Strings{});
    EXPECT_EQ(lostBatches, 1);

    sim.SetFileSize("C:\\a.txt", 3);
    EXPECT_EQ(Deliver(), Strings{"C:\\a.txt"});
    EXPECT_EQ(lostBatches, 1);
    EXPECT_FALSE(watcher->Ended());
}

TEST_F(MonitorThreadTest, EndsByItselfWhenItCannotWatch) {
    struct Case {
        const char* What;
        const char* Root;
        bool WithHandler;
    };
    for (const Case& c :
         {Case{"missing drive", "Q:\\", true}, Case{"missing folder", "C:\\Missing\\", true},
          Case{"no handler", "C:\\", false}}) {
        SCOPED_TRACE(c.What);
        watcher = std::make_unique<TMonitorFileChanged>(
            platform, loop, c.Root,
            c.WithHandler ? TFileChangedEvent([](TMonitorFileChanged&, const std::string&) {})
                          : TFileChangedEvent());
        EXPECT_TRUE(RunUntil([&] { return watcher->Ended(); }));
        EXPECT_TRUE(watcher->EndedByItself());
        EXPECT_EQ(sim.ChangeReaderCount(), 0);
        watcher->Terminate(); // harmless once it has ended
        watcher.reset();
    }
}

TEST_F(MonitorThreadTest, HandlerErrorOrLostVolumeEndsTheWatcher) {
    sim.AddDirectory("E:\\Data");
    Watch("E:\\");
    onReport = [](const std::string&) { throw std::runtime_error("handler failed"); };
    sim.AddFile("E:\\Data\\first.txt", 1);
    sim.AddFile("E:\\Data\\second.txt", 1);
    EXPECT_EQ(Deliver(), Strings{"E:\\Data\\first.txt"});
    EXPECT_TRUE(RunUntil([&] { return watcher->Ended(); }));
    EXPECT_TRUE(watcher->EndedByItself());
    EXPECT_EQ(sim.ChangeReaderCount(), 0);

    onReport = nullptr;
    reports.clear();
    Watch("E:\\");
    platform.AllowRead();
    sim.RemoveVolume("E:\\");
    EXPECT_TRUE(RunUntil([&] { return watcher->Ended(); }));
    EXPECT_TRUE(watcher->EndedByItself());
    EXPECT_EQ(reports, Strings{});
}

TEST_F(MonitorThreadTest, StopRequestWakesABlockedReadAndReportsNothing) {
    Watch("C:\\");
    platform.AllowRead(); // the watcher now blocks in the sim's read
    watcher->Terminate();
    EXPECT_TRUE(RunUntil([&] { return watcher->Ended(); }));
    EXPECT_FALSE(watcher->EndedByItself());
    EXPECT_EQ(sim.ChangeReaderCount(), 0);

    // Destroyed while blocked, without a stop request first.
    Watch("C:\\");
    platform.AllowRead();
    watcher.reset();
    EXPECT_EQ(sim.ChangeReaderCount(), 0);
    sim.AddFile("C:\\late.txt", 1);
    loop.RunUntil([&] { return loop.PendingMessages() == 0; });
    EXPECT_EQ(reports, Strings{});
}

TEST_F(MonitorThreadTest, DestroyedOnTheUiThreadDuringAPendingHandOver) {
    Watch("C:\\");
    sim.AddFile("C:\\waiting.txt", 1);
    platform.AllowRead();
    // The report waits in the UI loop's queue; nobody serves it but the destructor.
    while (loop.PendingMessages() == 0)
        std::this_thread::yield();
    watcher.reset();
    EXPECT_EQ(reports, Strings{});
    EXPECT_EQ(loop.PendingMessages(), 0u);
    EXPECT_EQ(sim.ChangeReaderCount(), 0);
}

TEST_F(MonitorThreadTest, DestroyedByItsOwnHandler) {
    Watch("C:\\");
    onReport = [this](const std::string&) { watcher.reset(); };
    sim.AddFile("C:\\first.txt", 1);
    sim.AddFile("C:\\second.txt", 1);
    platform.AllowRead();
    EXPECT_TRUE(RunUntil([&] { return !watcher; }));
    // The thread ends by itself once the handler has returned, and reports nothing more.
    EXPECT_TRUE(RunUntil([&] { return sim.ChangeReaderCount() == 0; }));
    EXPECT_EQ(reports, Strings{"C:\\first.txt"});
}

} // namespace
} // namespace brimble
