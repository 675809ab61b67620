// The change watcher on a real btrfs volume: a new file below the mount point reaches the
// handler as its full path, and destroying a watcher that waits in its read ends it.

#include "PosixTestSupport.h"
#include "platform/posix/PosixPlatform.h"
#include "threads/StdUiLoop.h"
#include "threads/TMonitorFileChanged.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace brimble::posix {
namespace {

using test::LoopVolume;
using test::WriteFile;

TEST(MonitorThreadOnBtrfs, ReportsFullPathsAndStopsWhileWaiting) {
    std::string whyNot;
    auto volume = LoopVolume::Create("btrfs", 256, "monitor", whyNot);
    if (!volume) BRIMBLE_SKIP_WITHOUT_REAL_VOLUME("no btrfs volume: " + whyNot);
    PosixPlatform platform;
    StdUiLoop loop{platform.Clock()};
    std::vector<std::string> reports;
    auto watcher = std::make_unique<TMonitorFileChanged>(
        platform, loop, volume->MountPoint(),
        [&](TMonitorFileChanged&, const std::string& fileName) { reports.push_back(fileName); });
    EXPECT_EQ(watcher->Path(), volume->MountPoint() + "/");

    ::mkdir(volume->Path("d").c_str(), 0755);
    const std::string wanted = volume->Path("d/new.txt");
    // A change made before the watcher's first read may be missed: write until one is seen.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::find(reports.begin(), reports.end(), wanted) == reports.end() &&
           !watcher->Ended() && std::chrono::steady_clock::now() < deadline) {
        WriteFile(wanted, std::string(reports.size() + 1, 'x'));
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
        loop.RunUntil([&] { return std::chrono::steady_clock::now() > until; });
    }
    EXPECT_NE(std::find(reports.begin(), reports.end(), wanted), reports.end());
    EXPECT_FALSE(watcher->Ended());

    watcher.reset(); // waits in its read: the stop request must wake it
}

} // namespace
} // namespace brimble::posix
