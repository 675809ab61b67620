// Change watching on a real btrfs volume, with fanotify (as root) and with inotify (as an
// ordinary user watches): created, renamed and resized files are reported with their paths
// below the root; a deletion reports nothing that asks for a file to be handled.

#include "PosixTestSupport.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/UniqueFd.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <set>

namespace brimble::posix {
namespace {

using test::LoopVolume;
using test::WriteFile;

constexpr uint32_t Filter =
    notifyfilter::FileName | notifyfilter::DirName | notifyfilter::Size | notifyfilter::Creation;

struct Watcher {
    const char* name;
    bool forceInotify;
};

void PrintTo(const Watcher& watcher, std::ostream* out) {
    *out << watcher.name;
}

class ChangeWatchTest : public ::testing::TestWithParam<Watcher> {
protected:
    static void SetUpTestSuite() { volume = LoopVolume::Create("btrfs", 256, "watch", whyNot); }
    static void TearDownTestSuite() { volume.reset(); }
    void SetUp() override {
        if (!volume) BRIMBLE_SKIP_WITHOUT_REAL_VOLUME("no btrfs volume: " + whyNot);
        platform.Switches().ForceInotify = GetParam().forceInotify;
        // Each run in its own folder, so the runs of both watchers do not meet.
        folder = std::string("run-") + GetParam().name;
        ::mkdir(volume->Path(folder).c_str(), 0755);
        reader = platform.ChangeWatching().OpenChangeReader(volume->MountPoint() + "/", Filter);
        ASSERT_NE(reader, nullptr);
    }
    void TearDown() override {
        if (reader) reader->Wake();
    }

    std::string Path(const std::string& name) const { return volume->Path(folder + "/" + name); }

    // Reads until Wanted has been reported (as root + name, the paths the watcher hands on)
    // or the reader has been quiet too long; returns everything reported.
    std::vector<ChangeRecord> ReadUntil(uint32_t action, const std::string& wanted) {
        std::vector<ChangeRecord> all;
        for (;;) {
            auto batch = std::async(std::launch::async, [&] {
                std::vector<ChangeRecord> records;
                return reader->Read(records) ? records : std::vector<ChangeRecord>{};
            });
            // A generous bound only, so that a missed change fails instead of hanging.
            if (batch.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
                reader->Wake();
                batch.get();
                return all;
            }
            for (auto& record : batch.get()) {
                const bool found =
                    record.Action == action && volume->MountPoint() + "/" + record.Name == wanted;
                all.push_back(std::move(record));
                if (found) return all;
            }
        }
    }

    static bool Reported(const std::vector<ChangeRecord>& records, uint32_t action,
                         const std::string& fullPath) {
        for (const auto& record : records)
            if (record.Action == action && volume->MountPoint() + "/" + record.Name == fullPath)
                return true;
        return false;
    }

    static inline std::unique_ptr<LoopVolume> volume;
    static inline std::string whyNot;
    PosixPlatform platform;
    std::string folder;
    std::unique_ptr<IChangeReader> reader;
};

TEST_P(ChangeWatchTest, CreatedRenamedAndResizedFilesAreReportedWithTheirPaths) {
    WriteFile(Path("first.txt"), "x");
    auto records = ReadUntil(fileaction::Added, Path("first.txt"));
    ASSERT_TRUE(Reported(records, fileaction::Added, Path("first.txt")));

    ::mkdir(Path("sub").c_str(), 0755);
    WriteFile(Path("sub/created.txt"), "hello");
    records = ReadUntil(fileaction::Added, Path("sub/created.txt"));
    EXPECT_TRUE(Reported(records, fileaction::Added, Path("sub")));
    EXPECT_TRUE(Reported(records, fileaction::Added, Path("sub/created.txt")));

    ::rename(Path("sub/created.txt").c_str(), Path("sub/renamed.txt").c_str());
    records = ReadUntil(fileaction::RenamedNewName, Path("sub/renamed.txt"));
    EXPECT_TRUE(Reported(records, fileaction::RenamedNewName, Path("sub/renamed.txt")));

    ASSERT_EQ(::truncate(Path("sub/renamed.txt").c_str(), 100000), 0);
    records = ReadUntil(fileaction::Modified, Path("sub/renamed.txt"));
    EXPECT_TRUE(Reported(records, fileaction::Modified, Path("sub/renamed.txt")));
}

TEST_P(ChangeWatchTest, ADeletionOrASizeKeepingWriteAsksForNothing) {
    WriteFile(Path("doomed.txt"), "12345");
    WriteFile(Path("same-size.txt"), "abcde");
    // Once the marker is through, everything about the two files' creation has been read.
    WriteFile(Path("marker-1.txt"), "m");
    auto records = ReadUntil(fileaction::Added, Path("marker-1.txt"));
    ASSERT_TRUE(Reported(records, fileaction::Added, Path("marker-1.txt")));

    {
        const UniqueFd fd(::open(Path("same-size.txt").c_str(), O_WRONLY));
        ASSERT_EQ(::pwrite(fd.Get(), "vwxyz", 5, 0), 5);
    }
    ::unlink(Path("doomed.txt").c_str());
    WriteFile(Path("marker-2.txt"), "m");
    records = ReadUntil(fileaction::Added, Path("marker-2.txt"));
    ASSERT_TRUE(Reported(records, fileaction::Added, Path("marker-2.txt")));
    EXPECT_FALSE(Reported(records, fileaction::Modified, Path("same-size.txt")));
    for (const uint32_t action :
         {fileaction::Added, fileaction::Modified, fileaction::RenamedNewName}) {
        EXPECT_FALSE(Reported(records, action, Path("doomed.txt"))) << action;
    }
    EXPECT_TRUE(Reported(records, fileaction::Removed, Path("doomed.txt")));
}

TEST_P(ChangeWatchTest, WakeEndsABlockedReadAtOnce) {
    auto blocked = std::async(std::launch::async, [&] {
        std::vector<ChangeRecord> records;
        return reader->Read(records);
    });
    EXPECT_EQ(blocked.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    reader->Wake();
    EXPECT_FALSE(blocked.get());
    std::vector<ChangeRecord> records;
    EXPECT_FALSE(reader->Read(records)); // and every later read too
}

TEST_P(ChangeWatchTest, AWatchedVolumeCanStillBeUnmountedAndItsReaderEnds) {
    std::string why;
    auto removable = LoopVolume::Create("ext4", 16, "stick", why);
    ASSERT_NE(removable, nullptr) << why;
    auto watched = platform.ChangeWatching().OpenChangeReader(removable->MountPoint(), Filter);
    ASSERT_NE(watched, nullptr);
    auto ended = std::async(std::launch::async, [&] {
        std::vector<ChangeRecord> records;
        return watched->Read(records);
    });
    EXPECT_TRUE(removable->Unmount());
    // A generous bound only, so that a reader that misses the unmount fails instead of
    // hanging; ending by the wake would not count.
    const bool endedByItself =
        ended.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!endedByItself) watched->Wake();
    EXPECT_FALSE(ended.get());
    EXPECT_TRUE(endedByItself);
    // Every later read fails at once as well.
    auto again = std::async(std::launch::async, [&] {
        std::vector<ChangeRecord> records;
        return watched->Read(records);
    });
    const bool againByItself =
        again.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!againByItself) watched->Wake();
    EXPECT_FALSE(again.get());
    EXPECT_TRUE(againByItself);
}

TEST(InotifyWatchTest, AFolderThatCannotBeWatchedIsLoggedAndTheRestIsWatched) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    test::TempDir dir;
    ::chmod(dir.Path().c_str(), 0755);
    ::mkdir((dir.Path() + "/secret").c_str(), 0700); // root's own
    ::mkdir((dir.Path() + "/open").c_str(), 0755);
    ::chown((dir.Path() + "/open").c_str(), 65534, 65534);
    const pid_t child = ::fork();
    if (child == 0) {
        // As an ordinary user, who may neither watch the whole file system nor read root's
        // folder.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        PosixPlatform platform;
        std::vector<std::pair<std::string, int>> logged;
        platform.SetDiagnosticsSink(
            [&](const std::string& message, int level) { logged.emplace_back(message, level); });
        auto reader = platform.ChangeWatching().OpenChangeReader(dir.Path() + "/", Filter);
        if (!reader || logged.size() != 1 || logged[0].second != 1 ||
            logged[0].first.find(dir.Path() + "/secret") == std::string::npos)
            ::_exit(1);
        WriteFile(dir.Path() + "/open/new.txt", "x");
        std::vector<ChangeRecord> records;
        const bool seen =
            reader->Read(records) && !records.empty() && records[0].Name == "open/new.txt";
        ::_exit(seen ? 0 : 3);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

INSTANTIATE_TEST_SUITE_P(Watchers, ChangeWatchTest,
                         ::testing::Values(Watcher{"fanotify", false}, Watcher{"inotify", true}),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
} // namespace brimble::posix
