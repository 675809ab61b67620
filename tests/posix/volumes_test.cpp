// Drives on Linux: real btrfs and ext4 volumes on loop devices, as the drive list and the
// start of a scan see them.

#include "PosixTestSupport.h"
#include "platform/posix/PosixPlatform.h"

#include <algorithm>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>

namespace brimble::posix {
namespace {

using test::LoopVolume;

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

TEST_F(PosixVolumesTest, AReadOnlyMountCannotCompress) {
    ASSERT_EQ(test::Run({"mount", "-o", "remount,ro", btrfs->MountPoint()}).Status, 0);
    const auto info = volumes.QueryVolumeInformation(Root(*btrfs));
    test::Run({"mount", "-o", "remount,rw", btrfs->MountPoint()});
    ASSERT_TRUE(info);
    EXPECT_FALSE(info->CanCompressFiles);
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

} // namespace
} // namespace brimble::posix
