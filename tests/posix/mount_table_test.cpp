// The mount table as Brimble reads it: which mounts are drives, what kind, and which one
// holds a path.

#include "platform/posix/MountTable.h"
#include "platform/posix/PosixVolumes.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace brimble::posix {
namespace {

constexpr const char* Table =
    "22 1 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "25 1 259:2 / / rw,relatime shared:1 - btrfs /dev/nvme0n1p2 rw,compress=zstd:3\n"
    "30 25 259:1 / /boot/efi rw,relatime shared:3 - vfat /dev/nvme0n1p1 rw,fmask=0022\n"
    "31 25 0:33 / /home rw,relatime shared:5 master:2 - btrfs /dev/nvme0n1p2 rw,subvol=/home\n"
    "40 25 0:40 / /run/user/1000 rw,nosuid,nodev - tmpfs tmpfs rw,size=1600000k\n"
    "41 31 0:41 / /home/u/My\\040Disk ro,relatime - ext4 /dev/sdb1 rw\n"
    "42 25 0:42 / /mnt/share rw - cifs //server/share rw\n"
    "43 25 0:43 / /media/cd ro - iso9660 /dev/sr0 ro\n"
    "44 25 0:44 /data /mnt/share rw - ext4 /dev/sdc1 rw\n"
    "garbage line without separator\n";

TEST(MountTable, ParsesPointsTypesSourcesAndReadOnlyMounts) {
    const auto mounts = ParseMountInfo(Table);
    // /mnt/share is mounted twice: the later mount hides the earlier one.
    ASSERT_EQ(mounts.size(), 8u);
    const MountEntry* disk = FindMount(mounts, "/home/u/My Disk/");
    ASSERT_NE(disk, nullptr);
    EXPECT_EQ(disk->FsType, "ext4");
    EXPECT_EQ(disk->Source, "/dev/sdb1");
    EXPECT_TRUE(disk->ReadOnly);
    const MountEntry* share = FindMount(mounts, "/mnt/share");
    ASSERT_NE(share, nullptr);
    EXPECT_EQ(share->FsType, "ext4");
    EXPECT_FALSE(FindMount(mounts, "/")->ReadOnly);
    // The file system's own read-only state is in the options after the source.
    EXPECT_FALSE(disk->SuperReadOnly);
    EXPECT_FALSE(disk->Writable());
    EXPECT_TRUE(FindMount(mounts, "/media/cd")->SuperReadOnly);
    EXPECT_TRUE(FindMount(mounts, "/")->Writable());
}

TEST(MountTable, ThePathBelongsToTheLongestMountPointAboveIt) {
    const auto mounts = ParseMountInfo(Table);
    const struct {
        const char* path;
        const char* mount;
    } cases[] = {
        {"/home/u/file.txt", "/home"},
        {"/home", "/home"},
        {"/homework/x", "/"},
        {"/home/u/My Disk/a/b", "/home/u/My Disk"},
        {"/", "/"},
    };
    for (const auto& c : cases) {
        const MountEntry* mount = MountHolding(mounts, c.path);
        ASSERT_NE(mount, nullptr) << c.path;
        EXPECT_EQ(mount->MountPoint, c.mount) << c.path;
    }
}

TEST(MountTable, DrivesAreTheSortedMountsThatHoldFiles) {
    const auto roots = DriveRoots(ParseMountInfo(Table));
    const std::vector<std::string> expected = {
        "/",          "/boot/efi/",  "/home/",         "/home/u/My Disk/",
        "/media/cd/", "/mnt/share/", "/run/user/1000/"};
    EXPECT_EQ(roots, expected);
}

TEST(MountTable, AVolumeMountedAtSeveralPlacesIsOneDrive) {
    // The bind mount comes first: the shorter mount point still stands for the volume.
    constexpr const char* Twice =
        "60 1 0:50 / /srv/binds/data rw - btrfs /dev/sdd1 rw,subvol=/\n"
        "61 1 0:50 / /data rw - btrfs /dev/sdd1 rw,subvol=/\n"
        "62 1 0:50 /snap /data2 rw - btrfs /dev/sdd1 rw,subvol=/snap\n"
        "63 1 0:50 /snap /mnt/s2 rw - btrfs /dev/sdd1 rw,subvol=/snap\n"
        "64 1 0:50 /data/photos /photos rw - btrfs /dev/sdd1 rw,subvol=/\n"
        "65 1 0:51 / /other rw - btrfs /dev/sde1 rw,subvol=/\n";
    const std::vector<std::string> expected = {"/data/", "/data2/", "/other/", "/photos/"};
    EXPECT_EQ(DriveRoots(ParseMountInfo(Twice)), expected);

    // A writable mount stands for the folder before a shorter read-only one.
    constexpr const char* ReadOnlyFirst = "70 1 0:52 / /d ro - btrfs /dev/sdf1 rw\n"
                                          "71 1 0:52 / /mnt/data rw - btrfs /dev/sdf1 rw\n";
    EXPECT_EQ(DriveRoots(ParseMountInfo(ReadOnlyFirst)), std::vector<std::string>{"/mnt/data/"});
}

TEST(MountTable, ABtrfsMountSaysWhyItCannotCompress) {
    const struct {
        const char* what;
        BtrfsVolumeFacts facts;
        const char* reason; // empty: it can
    } cases[] = {
        {"writable", {}, ""},
        {"read-only mount", {.MountReadOnly = true}, "it is mounted read-only"},
        {"read-only file system", {.FileSystemReadOnly = true}, "its file system is read-only"},
        {"snapshot", {.ReadOnlySubvolume = true}, "it is a read-only subvolume"},
        {"unreachable", {.ReachError = EACCES}, "this user cannot enter it (Permission denied)"},
        {"16 KB sectors", {.SectorSize = 16384}, "its sectors of 16384 bytes are larger"},
        {"2 KB sectors", {.SectorSize = 2048}, ""},
        // The reason a user can act on comes first.
        {"unreachable and read-only",
         {.MountReadOnly = true, .ReachError = EACCES},
         "this user cannot enter it"},
    };
    for (const auto& c : cases) {
        const std::string why = WhyBtrfsCannotCompress(c.facts);
        if (std::string(c.reason).empty())
            EXPECT_EQ(why, "") << c.what;
        else
            EXPECT_TRUE(why.starts_with(c.reason)) << c.what << ": " << why;
    }
}

TEST(MountTable, UsbDisksAreKnownByTheirBus) {
    EXPECT_TRUE(OnUsbTransport("/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host0/"
                               "target0:0:0/0:0:0:0/block/sda"));
    EXPECT_TRUE(OnUsbTransport("/sys/devices/pci0000:00/0000:00:14.0/usb3/3-2/3-2:1.0/host4/"
                               "target4:0:0/4:0:0:0/block/sdb/sdb1"));
    EXPECT_FALSE(OnUsbTransport("/sys/devices/pci0000:00/0000:00:1d.0/0000:02:00.0/nvme/nvme0/"
                                "nvme0n1"));
    EXPECT_FALSE(OnUsbTransport("/sys/devices/virtual/block/loop0"));
    EXPECT_FALSE(OnUsbTransport("/sys/devices/platform/usbhost-fake/block/sdz"));
}

TEST(MountTable, KindsOfFileSystems) {
    EXPECT_TRUE(IsPseudoFileSystem("cgroup2"));
    EXPECT_FALSE(IsPseudoFileSystem("btrfs"));
    EXPECT_TRUE(IsNetworkFileSystem("nfs4"));
    EXPECT_TRUE(IsNetworkFileSystem("fuse.sshfs"));
    EXPECT_FALSE(IsNetworkFileSystem("fuse.ntfs-3g"));
    EXPECT_TRUE(IsRamFileSystem("tmpfs"));
}

} // namespace
} // namespace brimble::posix
