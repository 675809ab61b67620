// A file created on a real btrfs volume is marked for compression as the watcher reports
// its creation, before its data arrives: the data then reaches the disk compressed.

#include "PosixTestSupport.h"
#include "platform/posix/OnDiskSize.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/UniqueFd.h"
#include "threads/StdUiLoop.h"
#include "threads/TMonitorFileChanged.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace brimble::posix {
namespace {

using test::LoopVolume;

TEST(CompressNewFilesOnBtrfs, ACreatedFileIsMarkedBeforeItsDataArrives) {
    std::string whyNot;
    auto volume = LoopVolume::Create("btrfs", 256, "newfiles", whyNot);
    if (!volume) BRIMBLE_SKIP_WITHOUT_REAL_VOLUME("no btrfs volume: " + whyNot);
    PosixPlatform platform;
    StdUiLoop loop{platform.Clock()};
    const auto runUntil = [&](const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        loop.RunUntil([&] { return done() || std::chrono::steady_clock::now() > deadline; });
        return done();
    };
    bool watching = false;
    std::vector<std::string> marked;
    TMonitorHandlers handlers;
    handlers.OnFileChanged = [](TMonitorFileChanged&, const std::string&) {};
    handlers.OnWatchState = [&](TMonitorFileChanged&, const std::string&, bool ended) {
        watching = !ended;
    };
    handlers.OnFileCreated = [&](TMonitorFileChanged&, const std::string& name) {
        const OsValue<TNewFileMark> mark = platform.FileSystem().MarkForCompression(name);
        ASSERT_TRUE(mark.ok()) << platform.FileSystem().SysErrorMessage(mark.code());
        EXPECT_FALSE(mark->DataStoredBefore);
        marked.push_back(name);
    };
    TMonitorFileChanged watcher(platform, loop, volume->MountPoint(), std::move(handlers));
    ASSERT_TRUE(runUntil([&] { return watching; }));

    const std::string path = volume->Path("new.txt");
    const UniqueFd file(::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    ASSERT_TRUE(file);
    ASSERT_TRUE(runUntil([&] { return std::ranges::find(marked, path) != marked.end(); }));
    char property[16] = {};
    EXPECT_EQ(::fgetxattr(file.Get(), "btrfs.compression", property, sizeof property), 4);
    EXPECT_STREQ(property, "zstd");

    std::string text;
    while (text.size() < 1'000'000)
        text += "a line of a log that looks much like the one before it\n";
    ASSERT_EQ(::write(file.Get(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ASSERT_EQ(::fsync(file.Get()), 0);
    const UniqueFd reader(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_EQ(HasCompressedExtents(reader.Get()), std::optional<bool>(true));
    EXPECT_LT(platform.FileSystem().GetCompressedSize(path).value(),
              static_cast<int64_t>(text.size()) / 4);
}

// A marked folder passes the mark on to a file created in it; taking the file's mark back
// leaves its data compressed and no mark of any kind behind.
TEST(CompressNewFilesOnBtrfs, AFolderPassesItsMarkOnAndAMarkIsTakenBackWithoutARewrite) {
    std::string whyNot;
    auto volume = LoopVolume::Create("btrfs", 256, "newfolder", whyNot);
    if (!volume) BRIMBLE_SKIP_WITHOUT_REAL_VOLUME("no btrfs volume: " + whyNot);
    PosixPlatform platform;
    IFileSystem& fs = platform.FileSystem();
    const std::string folder = volume->Path("build");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_TRUE(fs.MarkForCompression(folder).ok());

    const std::string path = folder + "/out.log";
    std::string text;
    while (text.size() < 1'000'000)
        text += "a line of a log that looks much like the one before it\n";
    test::WriteFile(path, text);
    EXPECT_NE(fs.GetAttributes(path).value() & fa::Compressed, 0u);
    ASSERT_TRUE(fs.UnmarkForCompression(path).ok());

    const UniqueFd reader(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    int flags = 0;
    ASSERT_EQ(::ioctl(reader.Get(), FS_IOC_GETFLAGS, &flags), 0);
    EXPECT_EQ(flags & (FS_COMPR_FL | FS_NOCOMP_FL), 0);
    char property[16] = {};
    EXPECT_LT(::fgetxattr(reader.Get(), "btrfs.compression", property, sizeof property), 0);
    EXPECT_EQ(HasCompressedExtents(reader.Get()), std::optional<bool>(true));
    EXPECT_EQ(test::ReadFile(path), text);
}

} // namespace
} // namespace brimble::posix
