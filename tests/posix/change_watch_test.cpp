// Change watching on a real btrfs volume, with fanotify (as root) and with inotify (as an
// ordinary user watches): created, renamed and written files are reported with their paths
// below the root once they are closed; a deletion reports nothing that asks for a file to be
// handled; nested subvolumes and mounts are not this drive's.

#include "PosixTestSupport.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/UniqueFd.h"

#include <algorithm>
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
        ASSERT_TRUE(reader->Prepare()); // from here on every change is seen
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

TEST_P(ChangeWatchTest, CreatedRenamedAndWrittenFilesAreReportedWithTheirPaths) {
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

    WriteFile(Path("sub/renamed.txt"), std::string(100000, 'y'));
    records = ReadUntil(fileaction::Modified, Path("sub/renamed.txt"));
    EXPECT_TRUE(Reported(records, fileaction::Modified, Path("sub/renamed.txt")));

    // A second name of a file is complete as it appears: no close follows it.
    ASSERT_EQ(::link(Path("sub/renamed.txt").c_str(), Path("linked.txt").c_str()), 0);
    records = ReadUntil(fileaction::Added, Path("linked.txt"));
    EXPECT_TRUE(Reported(records, fileaction::Added, Path("linked.txt")));
}

TEST_P(ChangeWatchTest, NestedSubvolumesAndMountsAreNotThisDrives) {
    const std::string subvolume = Path("nested-subvolume");
    ASSERT_EQ(test::Run({"btrfs", "subvolume", "create", subvolume}).Status, 0);
    std::string why;
    auto other = LoopVolume::Create("ext4", 16, "nested", why);
    ASSERT_NE(other, nullptr) << why;
    const std::string mountPoint = Path("nested-mount");
    ::mkdir(mountPoint.c_str(), 0755);
    ASSERT_EQ(test::Run({"mount", "--bind", other->MountPoint(), mountPoint}).Status, 0);
    // Opened anew, so that the crawl meets both.
    reader->Wake();
    reader = platform.ChangeWatching().OpenChangeReader(volume->MountPoint() + "/", Filter);
    ASSERT_NE(reader, nullptr);
    ASSERT_TRUE(reader->Prepare());

    WriteFile(subvolume + "/in-subvolume.txt", "s");
    WriteFile(mountPoint + "/in-mount.txt", "m");
    WriteFile(Path("marker-nested.txt"), "m");
    const auto records = ReadUntil(fileaction::Added, Path("marker-nested.txt"));
    test::Run({"umount", mountPoint});
    test::Run({"btrfs", "subvolume", "delete", subvolume});
    ASSERT_TRUE(Reported(records, fileaction::Added, Path("marker-nested.txt")));
    for (const auto& record : records)
        EXPECT_EQ(record.Name.find("in-"), std::string::npos) << record.Name;
}

// A written file counts when it is closed: a file still open for writing (a log, a copy in
// progress) is reported once, after its last write, and a deletion asks for nothing.
TEST_P(ChangeWatchTest, AWrittenFileCountsOnceItIsClosedAndADeletionAsksForNothing) {
    {
        const UniqueFd fd(::open(Path("growing.log").c_str(), O_WRONLY | O_CREAT, 0644));
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(::write(fd.Get(), "line\n", 5), 5);
            ::fsync(fd.Get());
        }
        WriteFile(Path("marker-0.txt"), "m");
        const auto records = ReadUntil(fileaction::Added, Path("marker-0.txt"));
        for (const uint32_t action : {fileaction::Added, fileaction::Modified})
            EXPECT_FALSE(Reported(records, action, Path("growing.log"))) << action;
    }
    auto records = ReadUntil(fileaction::Added, Path("growing.log"));
    EXPECT_TRUE(Reported(records, fileaction::Added, Path("growing.log")));
    EXPECT_FALSE(Reported(records, fileaction::Modified, Path("growing.log")));

    WriteFile(Path("doomed.txt"), "12345");
    WriteFile(Path("same-size.txt"), "abcde");
    // Once the marker is through, everything about the two files' creation has been read.
    WriteFile(Path("marker-1.txt"), "m");
    records = ReadUntil(fileaction::Added, Path("marker-1.txt"));
    ASSERT_TRUE(Reported(records, fileaction::Added, Path("marker-1.txt")));

    {
        const UniqueFd fd(::open(Path("same-size.txt").c_str(), O_WRONLY));
        ASSERT_EQ(::pwrite(fd.Get(), "vwxyz", 5, 0), 5);
    }
    ::unlink(Path("doomed.txt").c_str());
    WriteFile(Path("marker-2.txt"), "m");
    records = ReadUntil(fileaction::Added, Path("marker-2.txt"));
    ASSERT_TRUE(Reported(records, fileaction::Added, Path("marker-2.txt")));
    // New content of the same size is a change too.
    EXPECT_TRUE(Reported(records, fileaction::Modified, Path("same-size.txt")));
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
    // As the watcher does: the crawl first, which holds each folder open for a moment, so
    // that the unmount below does not race it.
    ASSERT_TRUE(watched->Prepare());
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
        if (!reader || !reader->Prepare()) ::_exit(1);
        // Why fanotify is not used, and the folder left out, both at level 1.
        const auto said = [&](const std::string& text) {
            return std::count_if(logged.begin(), logged.end(), [&](const auto& entry) {
                return entry.second == 1 && entry.first.find(text) != std::string::npos;
            });
        };
        if (said("CAP_SYS_ADMIN") != 1 || said(dir.Path() + "/secret") != 1) ::_exit(4);
        std::vector<ChangeRecord> records;
        WriteFile(dir.Path() + "/open/new.txt", "x");
        const bool seen =
            reader->Read(records) && !records.empty() && records[0].Name == "open/new.txt";
        ::_exit(seen ? 0 : 3);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(FanotifyWatchTest, ASubvolumeMountIsWatchedWithInotifyAndTheReasonIsLogged) {
    std::string whyNot;
    auto volume = LoopVolume::Create("btrfs", 256, "layout", whyNot);
    if (!volume) BRIMBLE_SKIP_WITHOUT_REAL_VOLUME("no btrfs volume: " + whyNot);
    ASSERT_EQ(test::Run({"btrfs", "subvolume", "create", volume->Path("@home")}).Status, 0);
    const std::string source =
        test::Run({"findmnt", "-n", "-o", "SOURCE", volume->MountPoint()}).Output;
    test::TempDir home;
    ASSERT_EQ(
        test::Run({"mount", "-o", "subvol=@home", source.substr(0, source.find('\n')), home.Path()})
            .Status,
        0);
    PosixPlatform platform;
    std::vector<std::string> logged;
    platform.SetDiagnosticsSink(
        [&](const std::string& message, int) { logged.push_back(message); });
    auto reader = platform.ChangeWatching().OpenChangeReader(home.Path() + "/", Filter);
    const bool opened = reader && reader->Prepare();
    const std::string method = reader ? reader->Method() : "";
    reader.reset();
    test::Run({"umount", home.Path()});
    ASSERT_TRUE(opened);
    EXPECT_EQ(method.rfind("inotify", 0), 0u) << method;
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("subvolume"), std::string::npos) << logged[0];
}

INSTANTIATE_TEST_SUITE_P(Watchers, ChangeWatchTest,
                         ::testing::Values(Watcher{"fanotify", false}, Watcher{"inotify", true}),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
} // namespace brimble::posix
