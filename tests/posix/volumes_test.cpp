// Drives on Linux: real btrfs and ext4 volumes on loop devices, as the drive list and the
// start of a scan see them.

#include "../support/RecordingView.h"
#include "PosixTestSupport.h"
#include "engine/uMain.h"
#include "options/ProgramFolders.h"
#include "platform/posix/PosixPlatform.h"
#include "threads/StdUiLoop.h"
#include "threads/TMountWatchThread.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>

namespace brimble::posix {
namespace {

using test::LoopVolume;

// The engine's data folder (log, lists) in a folder of the test's own.
class TempDirEnv {
public:
    TempDirEnv() { ::setenv("XDG_DATA_HOME", FDir.Path().c_str(), 1); }
    ~TempDirEnv() { ::unsetenv("XDG_DATA_HOME"); }
    TempDirEnv(const TempDirEnv&) = delete;
    TempDirEnv& operator=(const TempDirEnv&) = delete;

private:
    test::TempDir FDir;
};

class PosixVolumesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        btrfs = LoopVolume::Create("btrfs", 256, "brimble-b", whyNot);
        if (btrfs) ext4 = LoopVolume::Create("ext4", 64, "brimble-e", whyNot);
    }
    static void TearDownTestSuite() {
        ext4.reset();
        btrfs.reset();
    }
    void SetUp() override {
        if (!btrfs || !ext4) BRIMBLE_SKIP_WITHOUT_REAL_VOLUME("no loop volumes: " + whyNot);
    }
    static std::string Root(const LoopVolume& volume) { return volume.MountPoint() + "/"; }

    static inline std::unique_ptr<LoopVolume> btrfs, ext4;
    static inline std::string whyNot;
    PosixPlatform platform;
    IVolumes& volumes = platform.Volumes();
    IFileSystem& fs = platform.FileSystem();
};

TEST_F(PosixVolumesTest, OnlyTheBtrfsVolumeCanCompress) {
    const struct {
        const LoopVolume* volume;
        const char* fileSystem;
        const char* label;
        bool canCompress;
    } cases[] = {{btrfs.get(), "btrfs", "brimble-b", true},
                 {ext4.get(), "ext4", "brimble-e", false}};
    const auto drives = volumes.LogicalDrives();
    EXPECT_TRUE(std::is_sorted(drives.begin(), drives.end()));
    for (const auto& c : cases) {
        const std::string root = Root(*c.volume);
        SCOPED_TRACE(root);
        EXPECT_NE(std::find(drives.begin(), drives.end(), root), drives.end());
        EXPECT_EQ(volumes.DriveTypeOf(root), DriveType::Fixed);
        const auto info = volumes.QueryVolumeInformation(root);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->FileSystemName, c.fileSystem);
        EXPECT_EQ(info->Label, c.label);
        EXPECT_EQ(info->CanCompressFiles, c.canCompress);
        EXPECT_EQ(volumes.GetClusterSize(root).value_or(0), 4096u);
        EXPECT_EQ(fs.DriveOfPath(c.volume->Path("not/there/yet.txt")), root);
    }
    const std::string file = ext4->Path("file.txt");
    test::WriteFile(file, std::string(100000, 'a'));
    EXPECT_EQ(fs.SetCompression(file, true).code(), EOPNOTSUPP);
    EXPECT_EQ(test::ReadFile(file), std::string(100000, 'a'));
}

// A folder mounted a second time; unmounted (lazily if busy) before its folder goes.
class BindMount {
public:
    BindMount(const std::string& from, const std::string& to) : FPath(to) {
        std::filesystem::create_directories(to);
        FMounted = test::Run({"mount", "--bind", from, to}).Status == 0;
    }
    ~BindMount() {
        if (FMounted && test::Run({"umount", FPath}).Status != 0)
            test::Run({"umount", "-l", FPath});
    }
    BindMount(const BindMount&) = delete;
    BindMount& operator=(const BindMount&) = delete;
    bool Mounted() const { return FMounted; }

private:
    std::string FPath;
    bool FMounted = false;
};

// Mounted read-only for one test, writable again afterwards.
class ReadOnlyRemount {
public:
    explicit ReadOnlyRemount(std::string mountPoint) : FMountPoint(std::move(mountPoint)) {
        FDone = test::Run({"mount", "-o", "remount,ro", FMountPoint}).Status == 0;
    }
    ~ReadOnlyRemount() {
        if (FDone) test::Run({"mount", "-o", "remount,rw", FMountPoint});
    }
    ReadOnlyRemount(const ReadOnlyRemount&) = delete;
    ReadOnlyRemount& operator=(const ReadOnlyRemount&) = delete;
    bool Done() const { return FDone; }

private:
    std::string FMountPoint;
    bool FDone = false;
};

// Every btrfs mount that cannot be written says why, once, in the back end's diagnostics.
TEST_F(PosixVolumesTest, AReadOnlyBtrfsVolumeSaysWhyItCannotCompress) {
    ASSERT_EQ(test::Run({"btrfs", "subvolume", "create", btrfs->Path("ro-sub")}).Status, 0);
    ASSERT_EQ(test::Run({"btrfs", "subvolume", "snapshot", "-r", btrfs->Path("ro-sub"),
                         btrfs->Path("ro-snap")})
                  .Status,
              0);
    test::TempDir places;
    const BindMount snapshot(btrfs->Path("ro-snap"), places.Path() + "/snapshot");
    const BindMount writableBind(btrfs->MountPoint(), places.Path() + "/bind");
    ASSERT_TRUE(snapshot.Mounted() && writableBind.Mounted());

    const auto canCompress = [&](const std::string& mountPoint) {
        const auto info = volumes.QueryVolumeInformation(mountPoint + "/");
        return info && info->CanCompressFiles;
    };
    EXPECT_TRUE(canCompress(btrfs->MountPoint()));
    // Asked before the program has connected its log: said once it has.
    EXPECT_FALSE(canCompress(places.Path() + "/snapshot"));
    std::vector<std::string> lines;
    platform.SetDiagnosticsSink([&](const std::string& message, int level) {
        EXPECT_EQ(level, 2) << message;
        lines.push_back(message);
    });
    EXPECT_FALSE(canCompress(places.Path() + "/snapshot"));
    std::vector<std::string> whileReadOnly;
    {
        const ReadOnlyRemount readOnly(btrfs->MountPoint());
        ASSERT_TRUE(readOnly.Done());
        EXPECT_FALSE(canCompress(btrfs->MountPoint()));
        // The bind mount's own flag says writable; its file system is not.
        EXPECT_FALSE(canCompress(places.Path() + "/bind"));
        EXPECT_FALSE(canCompress(btrfs->MountPoint())); // asked again: said once
        whileReadOnly = lines;
    }
    EXPECT_TRUE(canCompress(btrfs->MountPoint()));

    const struct {
        std::string root;
        const char* reason;
    } expected[] = {
        {places.Path() + "/snapshot/", "it is a read-only subvolume (a snapshot)"},
        {btrfs->MountPoint() + "/", "it is mounted read-only"},
        {places.Path() + "/bind/", "its file system is read-only"},
    };
    ASSERT_EQ(whileReadOnly.size(), std::size(expected)) << testing::PrintToString(lines);
    for (std::size_t i = 0; i < std::size(expected); ++i)
        EXPECT_TRUE(
            whileReadOnly[i].starts_with("Drive \"" + expected[i].root +
                                         "\" cannot take compressed files: " + expected[i].reason))
            << whileReadOnly[i];
    EXPECT_EQ(lines.size(), whileReadOnly.size());
    platform.SetDiagnosticsSink(nullptr);
}

// A volume that the user cannot even enter (another user's stick, say) holds nothing it
// could compress.
TEST_F(PosixVolumesTest, AVolumeTheUserCannotEnterDoesNotQualify) {
    // The loop volume's mount point lies in a folder that only root may enter.
    const pid_t child = ::fork();
    if (child == 0) {
        PosixPlatform asUser;
        std::string said;
        asUser.SetDiagnosticsSink([&](const std::string& message, int) { said += message; });
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        const auto info = asUser.Volumes().QueryVolumeInformation(Root(*btrfs));
        const bool refused = !info || !info->CanCompressFiles;
        ::_exit(refused && said.find("this user cannot enter it (Permission denied)") !=
                               std::string::npos
                    ? 0
                    : 1);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // Root can.
    EXPECT_TRUE(volumes.QueryVolumeInformation(Root(*btrfs))->CanCompressFiles);
}

TEST_F(PosixVolumesTest, AVolumeMountedTwiceIsOneDrive) {
    ASSERT_EQ(test::Run({"btrfs", "subvolume", "create", btrfs->Path("sub")}).Status, 0);
    test::TempDir places;
    ASSERT_FALSE(places.Path().empty());
    const std::string again = places.Path() + "/the-whole-volume-again";
    const std::string subShort = places.Path() + "/s";
    const std::string subLong = places.Path() + "/sub-again";
    const BindMount whole(btrfs->MountPoint(), again);
    const BindMount subLongFirst(btrfs->Path("sub"), subLong);
    const BindMount subShortNext(btrfs->Path("sub"), subShort);
    ASSERT_TRUE(whole.Mounted() && subLongFirst.Mounted() && subShortNext.Mounted());

    const auto drives = volumes.LogicalDrives();
    const auto listed = [&](const std::string& path) {
        return std::count(drives.begin(), drives.end(), path + "/");
    };
    EXPECT_EQ(listed(btrfs->MountPoint()), 1);
    EXPECT_EQ(listed(again), 0);
    EXPECT_EQ(listed(subShort), 1);
    EXPECT_EQ(listed(subLong), 0);
    // The mount that is left out is still a volume of its own when asked directly.
    EXPECT_EQ(volumes.DriveTypeOf(again + "/"), DriveType::Fixed);
}

TEST_F(PosixVolumesTest, WhatIsNoDriveRootSaysSo) {
    EXPECT_EQ(volumes.DriveTypeOf(btrfs->Path("no-such-folder/")), DriveType::NoRootDir);
    EXPECT_FALSE(volumes.QueryVolumeInformation(btrfs->Path("sub/")));
    EXPECT_EQ(volumes.DriveTypeOf("/proc/"), DriveType::Unknown);
}

TEST_F(PosixVolumesTest, TheMountWatchSeesADriveArriveAndWakesOnRequest) {
    auto watch = volumes.OpenMountWatch();
    ASSERT_NE(watch, nullptr);
    auto changed = std::async(std::launch::async, [&] { return watch->WaitForChange(); });
    std::string why;
    auto arriving = LoopVolume::Create("ext4", 16, "arriving", why);
    ASSERT_NE(arriving, nullptr) << why;
    // A generous bound only, so that a watch that misses the mount fails instead of hanging.
    if (changed.wait_for(std::chrono::seconds(20)) != std::future_status::ready) watch->Wake();
    EXPECT_TRUE(changed.get());

    auto woken = std::async(std::launch::async, [&] { return watch->WaitForChange(); });
    watch->Wake();
    EXPECT_FALSE(woken.get());
}

// The drive list follows a remount as it follows a new drive: read-only takes the volume
// off the list, writable again brings it back.
TEST_F(PosixVolumesTest, ARemountReadOnlyTakesTheDriveOffTheListAndBack) {
    const TempDirEnv data;
    StdUiLoop loop(platform.Clock(), TClockKind::Real);
    brimble::test::RecordingView view;
    const TProgramFolders folders = ComputeProgramFolders(platform);
    TfrmBrimblemain engine(platform, loop, view, folders);
    // No change watchers: they would crawl every volume of this machine.
    engine.Options().SmartCompressMode = TSmartCompressMode::scmDisabled;
    engine.RefreshDriveList();
    const TMountWatchThread mountWatch(volumes.OpenMountWatch(), loop,
                                       [&] { engine.DeviceChanged(); });
    ASSERT_TRUE(mountWatch.Watching());
    const std::string root = Root(*btrfs);
    const auto listed = [&] {
        const auto& drives = engine.DriveLettersList();
        return std::any_of(drives.begin(), drives.end(),
                           [&](const TDriveEntry& drive) { return drive.Root == root; });
    };
    // Other mounts of this machine may come and go meanwhile; only this volume counts. The
    // bound only keeps a watch that misses the remount from hanging.
    const auto waitUntilListed = [&](bool wanted) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        loop.RunUntil(
            [&] { return listed() == wanted || std::chrono::steady_clock::now() > deadline; });
        return listed() == wanted;
    };
    ASSERT_TRUE(listed());

    {
        const ReadOnlyRemount readOnly(btrfs->MountPoint());
        ASSERT_TRUE(readOnly.Done());
        EXPECT_TRUE(waitUntilListed(false));
    }
    EXPECT_TRUE(waitUntilListed(true));
}

} // namespace
} // namespace brimble::posix
