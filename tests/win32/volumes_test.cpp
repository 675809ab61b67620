// Drives and volumes as Wine reports them: C: is the prefix's NTFS drive.

#include "Win32TestSupport.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Volumes.h"

#include <algorithm>
#include <dbt.h>
#include <gtest/gtest.h>
#include <thread>
#include <windows.h>

namespace brimble::win32 {
namespace {

TEST(Win32Volumes, DriveStringsAreSortedRootsWithC) {
    Win32Platform platform;
    const std::vector<std::string> drives = platform.Volumes().LogicalDrives();
    ASSERT_FALSE(drives.empty());
    EXPECT_NE(std::find(drives.begin(), drives.end(), "C:\\"), drives.end());
    for (const std::string& root : drives) {
        ASSERT_EQ(root.size(), 3u) << root;
        EXPECT_EQ(root.substr(1), ":\\");
    }
    EXPECT_TRUE(std::is_sorted(drives.begin(), drives.end()));
}

TEST(Win32Volumes, TheSystemDriveIsAFixedNtfsVolume) {
    Win32Platform platform;
    IVolumes& volumes = platform.Volumes();
    for (const char* root : {"C:\\", "C:", "c:\\"}) {
        EXPECT_EQ(volumes.DriveTypeOf(root), DriveType::Fixed) << root;
        const auto info = volumes.QueryVolumeInformation(root);
        ASSERT_TRUE(info) << root;
        EXPECT_EQ(info->FileSystemName, "NTFS");
        EXPECT_TRUE(info->CanCompressFiles);
        wchar_t label[MAX_PATH + 1] = {};
        ASSERT_TRUE(::GetVolumeInformationW(L"C:\\", label, MAX_PATH + 1, nullptr, nullptr, nullptr,
                                            nullptr, 0));
        EXPECT_EQ(info->Label, Narrow(label));
        const auto cluster = volumes.GetClusterSize(root);
        ASSERT_TRUE(cluster);
        EXPECT_GE(*cluster, 512u);
        EXPECT_EQ(*cluster & (*cluster - 1), 0u) << "a power of two: " << *cluster;
    }
    ULARGE_INTEGER freeBytes{};
    ASSERT_TRUE(::GetDiskFreeSpaceExW(L"C:\\", &freeBytes, nullptr, nullptr));
    EXPECT_GT(freeBytes.QuadPart, 0u);
}

TEST(Win32Volumes, AMissingDriveHasNoRootAndNoVolume) {
    Win32Platform platform;
    IVolumes& volumes = platform.Volumes();
    const std::vector<std::string> drives = volumes.LogicalDrives();
    std::string missing;
    for (char letter = 'Q'; letter <= 'Y' && missing.empty(); ++letter)
        if (std::find(drives.begin(), drives.end(), std::string{letter, ':', '\\'}) == drives.end())
            missing = std::string{letter, ':', '\\'};
    ASSERT_FALSE(missing.empty());
    EXPECT_EQ(volumes.DriveTypeOf(missing), DriveType::NoRootDir);
    EXPECT_FALSE(volumes.QueryVolumeInformation(missing));
    EXPECT_FALSE(volumes.GetClusterSize(missing));
}

// The watch hears the device-change broadcast; here the test sends it to the hidden window.
TEST(Win32Volumes, MountWatchHearsDeviceChangesAndWakes) {
    Win32Platform platform;
    const std::unique_ptr<IMountWatch> watch = platform.Volumes().OpenMountWatch();
    ASSERT_TRUE(watch);
    const HWND window = test::WindowOf(::GetCurrentProcessId(), kDeviceWindowClass);
    ASSERT_TRUE(window);
    ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    EXPECT_TRUE(watch->WaitForChange());
    ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0); // not about volumes
    std::thread waker([&] {
        ::Sleep(50);
        watch->Wake();
    });
    EXPECT_FALSE(watch->WaitForChange());
    waker.join();
}

} // namespace
} // namespace brimble::win32
