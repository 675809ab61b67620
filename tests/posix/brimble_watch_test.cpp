// brimble-watch end to end on a real btrfs volume: started as a service would start it,
// with its own settings, lists, log and lock in a data folder of the test's own.

#include "ChildProcess.h"
#include "PosixTestSupport.h"

#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <thread>

namespace brimble::posix {
namespace {

using test::ChildProcess;
using test::LoopVolume;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string WatchProgram() {
#ifdef BRIMBLE_WATCH_PROGRAM
    return BRIMBLE_WATCH_PROGRAM;
#else
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string() +
           "/../src/cli/brimble-watch";
#endif
}

std::string TextContent(std::size_t size) {
    std::string text;
    for (int line = 0; text.size() < size; ++line)
        text += "line " + std::to_string(line) + ": the same words on every line of the file\n";
    text.resize(size);
    return text;
}

bool HasCompressionFlag(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    const bool read = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    ::close(fd);
    return read && (flags & FS_COMPR_FL) != 0;
}

// Polls Condition for up to Seconds; true as soon as it holds.
bool WaitFor(const std::function<bool()>& condition, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

class BrimbleWatchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { btrfs = LoopVolume::Create("btrfs", 256, "watch", whyNot); }
    static void TearDownTestSuite() { btrfs.reset(); }

    void SetUp() override {
        if (!btrfs) BRIMBLE_SKIP_WITHOUT_REAL_VOLUME("no btrfs volume: " + whyNot);
        ASSERT_EQ(::access(WatchProgram().c_str(), X_OK), 0) << WatchProgram() << " is not built";
        ::setenv("XDG_DATA_HOME", home.Path().c_str(), 1);
        std::filesystem::create_directories(dataDir);
    }
    void TearDown() override { ::unsetenv("XDG_DATA_HOME"); }

    // The volume lies in the temporary folder, which the default settings exclude.
    void WriteSettings(const std::string& lines) {
        WriteFile(dataDir + "/brimble.ini", "[GENERAL]\nExcludeFolders=\n" + lines);
    }
    std::string Log() { return ReadFile(dataDir + "/brimble.log"); }
    // Started once its watchers run, so that what the test writes next is seen.
    std::unique_ptr<ChildProcess> Start() {
        auto process =
            std::make_unique<ChildProcess>(WatchProgram(), std::vector<std::string>{"-d:2"}, false);
        const std::size_t before = Count("Drives list updated");
        EXPECT_TRUE(WaitFor([&] { return Count("Drives list updated") > before; }, 20)) << Log();
        return process;
    }
    std::size_t Count(const std::string& text) {
        const std::string log = Log();
        std::size_t n = 0;
        for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++n;
        return n;
    }

    static inline std::unique_ptr<LoopVolume> btrfs;
    static inline std::string whyNot;
    TempDir home;
    const std::string dataDir = home.Path() + "/Brimble";
};

TEST_F(BrimbleWatchTest, AFileWrittenInTheInteractiveModeIsCompressedAndStopSavesTheLists) {
    WriteSettings("SmartCompressMode=2\nCompressionDelay=0\n");
    auto watch = Start();
    const std::string file = btrfs->Path("now.txt");
    const std::string content = TextContent(400'000);
    WriteFile(file, content);
    EXPECT_TRUE(WaitFor([&] { return HasCompressionFlag(file); }, 20)) << Log();

    // A second instance is refused while this one runs.
    const test::Finished second =
        ChildProcess(WatchProgram(), std::vector<std::string>{}, false).Wait();
    EXPECT_EQ(second.Status, 82) << second.Err;

    watch->Signal(SIGTERM);
    const test::Finished stopped = watch->Wait();
    EXPECT_EQ(stopped.Status, 0) << stopped.Err;
    EXPECT_EQ(ReadFile(file), content);
    EXPECT_NE(Log().find("Program terminated"), std::string::npos);
}

TEST_F(BrimbleWatchTest, ALaggedFileSurvivesARestartAndIsCompressedWhenItIsDue) {
    // The third delay of the list, 20 units of 1/100000 day: 17.28 s. New files are not
    // marked as they are created, so the delay alone decides.
    WriteSettings("SmartCompressMode=2\nCompressionDelay=3\nCompressNewFiles=0\n");
    auto watch = Start();
    const std::string file = btrfs->Path("later.txt");
    WriteFile(file, TextContent(300'000));
    EXPECT_TRUE(WaitFor([&] { return Count("[FileChanged]: " + file) > 0; }, 20)) << Log();
    EXPECT_FALSE(HasCompressionFlag(file));
    watch->Signal(SIGTERM);
    EXPECT_EQ(watch->Wait().Status, 0);
    EXPECT_NE(ReadFile(dataDir + "/LagCompress.lst").find(file + "="), std::string::npos);

    watch = Start();
    EXPECT_TRUE(WaitFor([&] { return HasCompressionFlag(file); }, 40)) << Log();
    watch->Signal(SIGTERM);
    EXPECT_EQ(watch->Wait().Status, 0);
    EXPECT_FALSE(std::filesystem::exists(dataDir + "/LagCompress.lst"));
}

TEST_F(BrimbleWatchTest, ADelayedEntryFromAnEarlierRunIsRetriedByThePass) {
    // Left by an earlier run whose compression failed (a file held open, say).
    const std::string file = btrfs->Path("retried.txt");
    WriteFile(file, TextContent(300'000));
    const long today = static_cast<long>(std::time(nullptr) / 86400) + 25569;
    WriteFile(dataDir + "/DelayedCompress.lst", file + "=" + std::to_string(today) + "\r\n");
    WriteSettings("SmartCompressMode=2\nCompressionDelay=3\nCompressAgainDelay=0\n");

    auto watch = Start();
    EXPECT_TRUE(WaitFor([&] { return HasCompressionFlag(file); }, 30))
        << Log(); // the first pass comes after 15 s
    watch->Signal(SIGTERM);
    EXPECT_EQ(watch->Wait().Status, 0);
    EXPECT_FALSE(std::filesystem::exists(dataDir + "/DelayedCompress.lst"));
}

TEST_F(BrimbleWatchTest, WithSmartCompressionSwitchedOffItSaysSoAndEnds) {
    WriteSettings("SmartCompressMode=0\n");
    const test::Finished run =
        ChildProcess(WatchProgram(), std::vector<std::string>{}, false).Wait();
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("switched off"), std::string::npos) << run.Err;
}

} // namespace
} // namespace brimble::posix
