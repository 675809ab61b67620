// brimble-scan end to end on a real btrfs volume: the program as a user runs it, with its
// own settings, lists, log and lock in a data folder of the test's own.

#include "ChildProcess.h"
#include "PosixTestSupport.h"
#include "platform/posix/InstanceLock.h"
#include "platform/posix/PosixPlatform.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <thread>

namespace brimble::posix {
namespace {

using test::LoopVolume;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string ScanProgram() {
#ifdef BRIMBLE_SCAN_PROGRAM
    return BRIMBLE_SCAN_PROGRAM;
#else
    // Beside the tests in the build tree.
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string() +
           "/../src/cli/brimble-scan";
#endif
}

// A file's content, the same for the same index every time: text that compresses well.
std::string TextContent(int index, std::size_t size) {
    std::string text;
    for (int line = 0; text.size() < size; ++line)
        text += "file " + std::to_string(index) + ", line " + std::to_string(line) +
                ": much the same words on every line of this file\n";
    text.resize(size);
    return text;
}

std::string RandomContent(std::size_t size) {
    std::ifstream random("/dev/urandom", std::ios::binary);
    std::string bytes(size, '\0');
    random.read(bytes.data(), static_cast<std::streamsize>(size));
    return bytes;
}

int64_t DiskUsage(const std::string& path) {
    ::sync();
    const int64_t measured = test::CompsizeDiskUsage(path);
    if (measured >= 0) return measured;
    PosixPlatform platform;
    return platform.FileSystem().GetCompressedSize(path).value_or(-1);
}

// brimble-scan running as a child process.
class ScanProcess : public test::ChildProcess {
public:
    ScanProcess(const std::vector<std::string>& arguments, bool terminal)
        : ChildProcess(ScanProgram(), arguments, terminal) {}
};
using test::Finished;

// The Total group as printed: each caption with the values after it.
std::map<std::string, std::vector<std::string>> Totals(const std::string& out) {
    std::map<std::string, std::vector<std::string>> rows;
    std::stringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::stringstream fields(line.substr(colon + 1));
        std::vector<std::string> values;
        for (std::string field; fields >> field;)
            values.push_back(field);
        rows[line.substr(0, colon + 1)] = values;
    }
    return rows;
}

Finished RunScan(const std::vector<std::string>& arguments, bool terminal = false) {
    return ScanProcess(arguments, terminal).Wait();
}

// A run that may hang: killed after a minute, which then shows as status 128 + SIGKILL.
Finished RunScanOrKill(const std::vector<std::string>& arguments) {
    ScanProcess process(arguments, false);
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!finished.wait_for(lock, std::chrono::seconds(60), [&] { return done; }))
            process.Signal(SIGKILL);
    });
    Finished result = process.Wait();
    {
        const std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_all();
    watchdog.join();
    return result;
}

// Sets or removes an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : FName(name) {
        if (const char* old = std::getenv(name)) FOld = old;
        Set(value);
    }
    ~ScopedEnv() { Set(FOld); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Set(const std::optional<std::string>& value) {
        if (value)
            ::setenv(FName.c_str(), value->c_str(), 1);
        else
            ::unsetenv(FName.c_str());
    }
    std::string FName;
    std::optional<std::string> FOld;
};

class BrimbleScanTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        btrfs = LoopVolume::Create("btrfs", 320, "scan", whyNot);
        if (btrfs) ext4 = LoopVolume::Create("ext4", 64, "plain", whyNot);
    }
    static void TearDownTestSuite() {
        ext4.reset();
        btrfs.reset();
    }

    void SetUp() override {
        if (!btrfs || !ext4) BRIMBLE_SKIP_WITHOUT_REAL_VOLUME("no loop volumes: " + whyNot);
        if (::access(ScanProgram().c_str(), X_OK) != 0)
            GTEST_FAIL() << ScanProgram() << " is not built";
        // The program's data folder and lock of the test's own.
        ::setenv("XDG_DATA_HOME", home.Path().c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", home.Path().c_str(), 1);
        ::setenv("LC_ALL", "C", 1); // the separators of the totals
        std::filesystem::create_directories(dataDir);
        // The volumes lie in the temporary folder, which the default settings exclude.
        WriteSettings("ExcludeFolders=\n");
    }
    void TearDown() override {
        ::unsetenv("XDG_DATA_HOME");
        ::unsetenv("XDG_RUNTIME_DIR");
        ::unsetenv("LC_ALL");
    }

    void WriteSettings(const std::string& lines) {
        WriteFile(dataDir + "/brimble.ini", "[GENERAL]\n" + lines);
    }
    // A fresh folder on the btrfs volume.
    std::string Folder(const std::string& name) {
        const std::string path = btrfs->Path(name);
        std::filesystem::create_directories(path);
        return path;
    }

    static inline std::unique_ptr<LoopVolume> btrfs;
    static inline std::unique_ptr<LoopVolume> ext4;
    static inline std::string whyNot;
    TempDir home;
    const std::string dataDir = home.Path() + "/Brimble";
};

TEST_F(BrimbleScanTest, CompressesARealFolderWithContentsUnchangedAndPrintsTheTotals) {
    const std::string dir = Folder("photos");
    std::filesystem::create_directories(dir + "/sub");
    std::filesystem::create_directories(dir + "/skip");
    const std::map<std::string, std::string> files = {
        {"/a.txt", TextContent(1, 300'000)},      {"/sub/b.cpp", TextContent(2, 200'000)},
        {"/noise.bin", RandomContent(100'000)},   {"/kept.log", TextContent(3, 100'000)},
        {"/skip/c.txt", TextContent(4, 100'000)},
    };
    for (const auto& [name, content] : files)
        WriteFile(dir + name, content);
    // The tray program's settings count: its filters and excluded folders.
    WriteSettings("FilterIncluding=txt,cpp\nFilterExcluding=log\nExcludeFolders=" + dir +
                  "/skip=\n");

    const Finished run = RunScan({"-d:2", dir});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    // Four files seen, a.txt and b.cpp compressed; the random one gained nothing.
    const auto totals = Totals(run.Out);
    ASSERT_EQ(totals.size(), 5u) << run.Out;
    EXPECT_EQ(totals.at("Total files processed:"), (std::vector<std::string>{"4", "683.59", "Kb"}));
    EXPECT_EQ(totals.at("Files to be compressed:").at(0), "2");
    EXPECT_EQ(totals.at("Files to be compressed:").at(1), "488.28");
    EXPECT_EQ(totals.at("Compressed files:").at(0), "2");
    EXPECT_EQ(totals.at("Compression ratio:").size(), 1u);
    EXPECT_TRUE(totals.at("Compression ratio:").at(0).ends_with("%"));
    EXPECT_EQ(totals.at("Reclaimed free space share:").size(), 2u);
    EXPECT_EQ(run.Out.find(dir), std::string::npos) << "status lines without a terminal";
    EXPECT_EQ(run.Out.find('\a'), std::string::npos) << "a bell without a terminal";

    for (const auto& [name, content] : files)
        EXPECT_EQ(ReadFile(dir + name), content) << name;
    EXPECT_LT(DiskUsage(dir + "/a.txt"), 150'000);
    EXPECT_LT(DiskUsage(dir + "/sub/b.cpp"), 100'000);
    EXPECT_GE(DiskUsage(dir + "/noise.bin"), 100'000);
    EXPECT_GE(DiskUsage(dir + "/kept.log"), 100'000);
    EXPECT_GE(DiskUsage(dir + "/skip/c.txt"), 100'000);

    // The tray program's files, not files named after this program.
    const std::string log = ReadFile(dataDir + "/brimble.log");
    EXPECT_NE(log.find("\tProgram started"), std::string::npos);
    EXPECT_NE(log.find("\tFile [" + dir + "/a.txt] (292.97 Kb) action: COMPRESS"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\tScan complete!"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dataDir + "/NeverCompress.lst"));
    EXPECT_FALSE(std::filesystem::exists(dataDir + "/brimble-scan.log"));
}

// "123.45 Kb" of a printed size, in bytes.
double PrintedBytes(const std::vector<std::string>& values) {
    const double units[] = {1, 1024, 1024.0 * 1024, 1024.0 * 1024 * 1024};
    const char* const names[] = {"b", "Kb", "Mb", "Gb"};
    for (int i = 0; i < 4; ++i)
        if (values.at(1) == names[i]) return std::stod(values.at(0)) * units[i];
    return -1;
}

TEST_F(BrimbleScanTest, AnEstimateChangesNothingAndForeseesTheRealSaving) {
    const std::string dir = Folder("estimated");
    const std::map<std::string, std::string> files = {
        {"/a.txt", TextContent(21, 600'000)},
        {"/b.txt", TextContent(22, 4096)}, // one sector: lives inline once compressed
        {"/noise.txt", RandomContent(300'000)},
        {"/mixed.txt", TextContent(23, 200'000) + RandomContent(400'000)},
    };
    for (const auto& [name, content] : files)
        WriteFile(dir + name, content);
    // An entry a real run would drop (its file is gone) and one it would take off.
    const std::string delayed = dir + "/gone.txt=46000\n" + dir + "/a.txt=46000\n";
    WriteFile(dataDir + "/DelayedCompress.lst", delayed);
    WriteSettings("ExcludeFolders=\nMoveToNeverCompressDelay=100000\n");
    ::sync();
    std::map<std::string, int64_t> usage;
    for (const auto& [name, content] : files)
        usage[name] = DiskUsage(dir + name);

    const Finished estimate = RunScan({dir, "--estimate"});
    ASSERT_EQ(estimate.Status, 0) << estimate.Err;
    EXPECT_NE(estimate.Out.find("Reclaimed free space share:"), std::string::npos);
    const auto predicted = Totals(estimate.Out);
    EXPECT_EQ(predicted.at("Compressed files:").back(), "(estimate)") << estimate.Out;
    EXPECT_EQ(predicted.at("Total files processed:").size(), 3u) << "a count, not a guess";
    for (const auto& [name, content] : files) {
        EXPECT_EQ(ReadFile(dir + name), content) << name;
        EXPECT_EQ(DiskUsage(dir + name), usage[name]) << name << " was rewritten";
    }
    EXPECT_EQ(ReadFile(dataDir + "/DelayedCompress.lst"), delayed);
    EXPECT_FALSE(std::filesystem::exists(dataDir + "/NeverCompress.lst"));

    const Finished real = RunScan({dir});
    ASSERT_EQ(real.Status, 0) << real.Err;
    const auto measured = Totals(real.Out);
    EXPECT_EQ(predicted.at("Files to be compressed:").at(0),
              measured.at("Files to be compressed:").at(0));
    EXPECT_EQ(predicted.at("Compressed files:").at(0), measured.at("Compressed files:").at(0));
    const double saved = PrintedBytes(measured.at("Reclaimed free space share:"));
    EXPECT_GT(saved, 300'000);
    EXPECT_NEAR(PrintedBytes(predicted.at("Reclaimed free space share:")), saved, saved * 0.02)
        << estimate.Out << real.Out;
}

TEST_F(BrimbleScanTest, StatusLinesOnlyOnATerminal) {
    const std::string dir = Folder("watched");
    WriteFile(dir + "/one.txt", TextContent(5, 50'000));
    const Finished run = RunScan({dir}, true);
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find(dir + "/one.txt\r\n"), std::string::npos) << run.Out;
    EXPECT_EQ(Totals(run.Out)["Total files processed:"].at(0), "1") << run.Out;
    EXPECT_TRUE(run.Out.ends_with("\a")) << "the bell after the totals";
}

TEST_F(BrimbleScanTest, RefusalsExitWithTheirCodes) {
    WriteFile(ext4->Path("plain.txt"), TextContent(6, 50'000));
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const Case cases[] = {
        // With the volume's own reason after the bare refusal.
        {{ext4->MountPoint()}, "Wrong drive!\nbrimble-scan: " + ext4->MountPoint() + " (ext4): "},
        {{""}, "Incorrect path specified\n"},
        {{}, "No folder given.\n"},
        {{"-x", btrfs->MountPoint()}, "Unknown switch: -x\n"},
        {{btrfs->MountPoint(), ext4->MountPoint()}, "Give exactly one folder.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const Finished run = RunScan(c.arguments);
        EXPECT_EQ(run.Status, 2);
        EXPECT_TRUE(run.Err.starts_with(c.message)) << run.Err;
        EXPECT_EQ(run.Out, "");
    }
    EXPECT_GE(DiskUsage(ext4->Path("plain.txt")), 0); // untouched, still there
    EXPECT_EQ(ReadFile(ext4->Path("plain.txt")), TextContent(6, 50'000));
}

TEST_F(BrimbleScanTest, AFolderInsideAnExcludedFolderIsRefusedWithItsEntry) {
    const std::string excluded = Folder("excluded");
    const std::string inner = Folder("excluded/inner");
    WriteFile(inner + "/x.txt", TextContent(8, 50'000));
    WriteSettings("ExcludeFolders=" + excluded + "=\n");
    const Finished run = RunScan({inner + "/../inner"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("excluded folder \"" + excluded + "/\""), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("ExcludeFolders"), std::string::npos) << run.Err;
    EXPECT_EQ(run.Out, "");
    EXPECT_GE(DiskUsage(inner + "/x.txt"), 50'000);
}

// Unmounts what the test mounted inside the volume, before the volume itself goes.
class MountGuard {
public:
    explicit MountGuard(std::string path) : FPath(std::move(path)) {}
    ~MountGuard() { test::Run({"umount", FPath}); }
    MountGuard(const MountGuard&) = delete;
    MountGuard& operator=(const MountGuard&) = delete;

private:
    std::string FPath;
};

TEST_F(BrimbleScanTest, TheWalkLeavesOutMountsAndSubvolumesInsideTheFolder) {
    const std::string dir = Folder("nested");
    WriteFile(dir + "/a.txt", TextContent(9, 200'000));
    std::filesystem::create_directories(dir + "/ram");
    ASSERT_EQ(test::Run({"mount", "-t", "tmpfs", "tmpfs", dir + "/ram"}).Status, 0);
    const MountGuard ram(dir + "/ram");
    WriteFile(dir + "/ram/r.txt", TextContent(10, 200'000));
    const std::string source = btrfs->Path("source");
    ASSERT_EQ(test::Run({"btrfs", "subvolume", "create", source}).Status, 0);
    WriteFile(source + "/s.txt", TextContent(11, 200'000));
    ASSERT_EQ(test::Run({"btrfs", "subvolume", "snapshot", "-r", source, dir + "/snap"}).Status, 0);

    const Finished run = RunScan({"-d:2", dir});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(Totals(run.Out)["Total files processed:"].at(0), "1") << run.Out;
    EXPECT_LT(DiskUsage(dir + "/a.txt"), 100'000);
    EXPECT_EQ(ReadFile(dir + "/ram/r.txt"), TextContent(10, 200'000));
    EXPECT_EQ(ReadFile(dir + "/snap/s.txt"), TextContent(11, 200'000));
    const std::string log = ReadFile(dataDir + "/brimble.log");
    EXPECT_NE(log.find("Skipped mount point \"" + dir + "/ram/\""), std::string::npos) << log;
    EXPECT_NE(log.find("Skipped mount point \"" + dir + "/snap/\""), std::string::npos) << log;
    EXPECT_FALSE(std::filesystem::exists(dataDir + "/DelayedCompress.lst"));
}

// A subvolume beside its read-only snapshot, with a reflinked copy and a file of its own:
// only the file of its own is rewritten, the volume's data never grows, and the space the
// totals say was reclaimed is what the volume got back.
TEST_F(BrimbleScanTest, SharedDataStaysSharedAndTheTotalsAreTheSpaceReallyReclaimed) {
    const std::string subvolume = btrfs->Path("@shared");
    ASSERT_EQ(test::Run({"btrfs", "subvolume", "create", subvolume}).Status, 0);
    WriteFile(subvolume + "/snapshotted.txt", TextContent(21, 400'000));
    WriteFile(subvolume + "/original.txt", TextContent(22, 400'000));
    ::sync();
    ASSERT_EQ(
        test::Run({"btrfs", "subvolume", "snapshot", "-r", subvolume, btrfs->Path("@snap")}).Status,
        0);
    ASSERT_EQ(
        test::Run({"cp", "--reflink=always", subvolume + "/original.txt", subvolume + "/copy.txt"})
            .Status,
        0);
    WriteFile(subvolume + "/own.txt", TextContent(23, 400'000));
    const int64_t ownBefore = DiskUsage(subvolume + "/own.txt");
    const int64_t usedBefore = btrfs->DataUsed();

    const Finished run = RunScan({"-d:2", subvolume});
    ASSERT_EQ(run.Status, 0) << run.Err;

    EXPECT_LE(btrfs->DataUsed(), usedBefore - 200'000);
    const int64_t ownAfter = DiskUsage(subvolume + "/own.txt");
    EXPECT_LT(ownAfter, 100'000);
    for (const char* name : {"snapshotted.txt", "original.txt", "copy.txt"})
        EXPECT_GE(DiskUsage(subvolume + "/" + name), 400'000) << name;
    auto totals = Totals(run.Out);
    EXPECT_EQ(totals["Compressed files:"].at(0), "1") << run.Out;
    // Printed in Kb with two decimals: the measured saving, not the file's length.
    const double reclaimedKb = std::stod(totals["Reclaimed free space share:"].at(0));
    EXPECT_NEAR(reclaimedKb * 1024, static_cast<double>(ownBefore - ownAfter), 10.0) << run.Out;
    EXPECT_EQ(ReadFile(subvolume + "/copy.txt"), TextContent(22, 400'000));
    const std::string log = ReadFile(dataDir + "/brimble.log");
    EXPECT_NE(log.find("File [" + subvolume +
                       "/copy.txt] shares its data with another file or a snapshot"),
              std::string::npos)
        << log;
}

// Files that a volume mounted with compression stored compressed as they were written
// count as compressed, and nothing of them is written again.
TEST_F(BrimbleScanTest, FilesTheMountOptionCompressedAreCountedNotRewritten) {
    std::string why;
    const auto zstd = LoopVolume::Create("btrfs", 320, "zstd", why, "compress=zstd");
    ASSERT_TRUE(zstd) << why;
    for (int i = 0; i < 4; ++i)
        WriteFile(zstd->Path("f" + std::to_string(i) + ".txt"), TextContent(30 + i, 2'000'000));
    ::sync();
    const int64_t writtenBefore = zstd->BytesWritten();

    const Finished run = RunScan({zstd->MountPoint()});
    ASSERT_EQ(run.Status, 0) << run.Err;
    ::sync();

    EXPECT_LT(zstd->BytesWritten() - writtenBefore, 1'000'000) << "8 MB of data were rewritten";
    auto totals = Totals(run.Out);
    EXPECT_EQ(totals["Compressed files:"].at(0), "4") << run.Out;
    EXPECT_EQ(totals["Reclaimed free space share:"].at(0), "0.00") << run.Out;
}

// A user scanning files that belong to root: nothing can be changed, and that is no reason
// to retry them later or to put their names on the never list.
TEST_F(BrimbleScanTest, AUsersScanOfFilesItMayNotChangeLeavesTheListsAsTheyWere) {
    const std::string dir = Folder("roots");
    for (int i = 0; i < 3; ++i)
        WriteFile(dir + "/r" + std::to_string(i) + ".txt", TextContent(40 + i, 200'000));
    // The user reaches the volume and owns its data folder.
    ::chmod(std::filesystem::path(btrfs->MountPoint()).parent_path().c_str(), 0755);
    ::chmod(home.Path().c_str(), 0755);
    constexpr uid_t kNobody = 65534;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home.Path()))
        ASSERT_EQ(::chown(entry.path().c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chown(home.Path().c_str(), kNobody, kNobody), 0);

    const Finished run =
        test::ChildProcess(
            "/usr/bin/setpriv",
            {"--reuid=65534", "--regid=65534", "--clear-groups", ScanProgram(), "-d", dir}, false)
            .Wait();
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(Totals(run.Out)["Files to be compressed:"].at(0), "0") << run.Out;
    EXPECT_FALSE(std::filesystem::exists(dataDir + "/DelayedCompress.lst"));
    EXPECT_EQ(ReadFile(dataDir + "/NeverCompress.lst").find("r0.txt"), std::string::npos);
    const std::string log = ReadFile(dataDir + "/brimble.log");
    EXPECT_NE(log.find("Files in \"" + dir + "/\" cannot be changed (Operation not permitted)"),
              std::string::npos)
        << log;
    EXPECT_GE(DiskUsage(dir + "/r0.txt"), 200'000);
}

TEST_F(BrimbleScanTest, AnotherInstanceHoldingTheLockRefusesTheRun) {
    const std::string dir = Folder("locked");
    WriteFile(dir + "/x.txt", TextContent(7, 50'000));
    {
        // This test process plays the running tray program.
        const auto held = AcquireInstanceLock("Brimble");
        ASSERT_TRUE(held && *held != nullptr);
        const Finished run = RunScan({dir});
        EXPECT_EQ(run.Status, 82);
        EXPECT_EQ(run.Err, "Brimble is already running.\n");
        EXPECT_EQ(run.Out, "");
    }
    EXPECT_GE(DiskUsage(dir + "/x.txt"), 50'000); // nothing was compressed
    EXPECT_EQ(RunScan({dir}).Status, 0);          // once the lock is free
}

TEST_F(BrimbleScanTest, OneDataFolderHasOneLockWhateverTheRuntimeFolder) {
    const std::string dir = Folder("one-lock");
    WriteFile(dir + "/x.txt", TextContent(8, 50'000));
    TempDir runtime;
    // The holder with the runtime folder and the run without it, and the other way round.
    for (const bool holderHasRuntime : {true, false}) {
        SCOPED_TRACE(holderHasRuntime ? "holder with XDG_RUNTIME_DIR" : "run with it");
        std::unique_ptr<IInstanceLock> held;
        {
            const ScopedEnv env("XDG_RUNTIME_DIR",
                                holderHasRuntime ? std::optional(runtime.Path()) : std::nullopt);
            held = AcquireInstanceLock("Brimble").value_or(nullptr);
        }
        ASSERT_NE(held, nullptr);
        const ScopedEnv env("XDG_RUNTIME_DIR",
                            holderHasRuntime ? std::nullopt : std::optional(runtime.Path()));
        const Finished run = RunScan({dir});
        EXPECT_EQ(run.Status, 82);
        EXPECT_EQ(run.Err, "Brimble is already running.\n");
    }
    EXPECT_GE(DiskUsage(dir + "/x.txt"), 50'000);
}

TEST_F(BrimbleScanTest, ALockThatCannotBeTakenStopsTheRunWithTheReason) {
    const std::string dir = Folder("no-lock");
    WriteFile(dir + "/x.txt", TextContent(9, 50'000));
    WriteFile(home.Path() + "/a-file", "");
    const ScopedEnv data("XDG_DATA_HOME", home.Path() + "/a-file/data");
    const Finished run = RunScan({dir});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("lock"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("Not a directory"), std::string::npos) << run.Err;
    EXPECT_GE(DiskUsage(dir + "/x.txt"), 50'000);
}

TEST_F(BrimbleScanTest, TheFolderIsResolvedOnceAndWhatCannotBeOpenedIsAnError) {
    const std::string dir = Folder("real");
    std::filesystem::create_directories(dir + "/sub");
    WriteFile(dir + "/a.txt", TextContent(10, 100'000));
    std::filesystem::create_directory_symlink(dir, home.Path() + "/link");
    for (const std::string& given : {home.Path() + "/link", dir + "/sub/../."}) {
        SCOPED_TRACE(given);
        const Finished run = RunScan({given});
        EXPECT_EQ(run.Status, 0) << run.Err;
        EXPECT_EQ(Totals(run.Out)["Total files processed:"].at(0), "1") << run.Out;
    }
    EXPECT_LT(DiskUsage(dir + "/a.txt"), 50'000);

    const std::pair<std::string, std::string> refused[] = {
        {dir + "/missing", "No such file or directory"},
        {dir + "/a.txt", "Not a directory"},
        {home.Path() + "/link/a.txt", "Not a directory"},
    };
    for (const auto& [given, reason] : refused) {
        SCOPED_TRACE(given);
        const Finished run = RunScan({given});
        EXPECT_EQ(run.Status, 2);
        EXPECT_EQ(run.Err, "Cannot open folder \"" + given + "\": " + reason + "\n");
        EXPECT_EQ(run.Out, "");
    }
}

TEST_F(BrimbleScanTest, HostileNamesAreShownEscapedOnTheTerminalAndInTheLog) {
    const std::string dir = Folder("hostile");
    const std::string names[] = {
        "esc\x1b[2J\x1b]0;title\x07.txt",
        "line\nforged\tFile [forged] action: NONE.txt",
        "bad\xff\xfe.txt",
        "c1\xc2\x9b"
        "31m.txt",
        "back\\x1b.txt",
    };
    const std::string shown[] = {
        "esc\\x1b[2J\\x1b]0;title\\x07.txt",
        "line\\nforged\\tFile [forged] action: NONE.txt",
        "bad\\xff\\xfe.txt",
        "c1\\xc2\\x9b31m.txt",
        "back\\\\x1b.txt",
    };
    for (const std::string& name : names)
        WriteFile(dir + "/" + name, TextContent(11, 20'000));

    const Finished run = RunScan({"-d:2", dir}, true);
    EXPECT_EQ(run.Status, 0) << run.Err;
    const std::string log = ReadFile(dataDir + "/brimble.log");
    EXPECT_EQ(log.find("\tFile [forged]"), std::string::npos) << log;
    // The completion bell at the very end is the program's own.
    const std::string namesShown = run.Out.substr(0, run.Out.find_last_not_of('\a') + 1);
    for (const char* raw : {"\x1b", "\x07", "\xff", "\xc2\x9b"}) {
        EXPECT_EQ(namesShown.find(raw), std::string::npos) << run.Out;
        EXPECT_EQ(log.find(raw), std::string::npos) << log;
    }
    for (const std::string& name : shown) {
        EXPECT_NE(run.Out.find(dir + "/" + name + "\r\n"), std::string::npos) << run.Out;
        EXPECT_NE(log.find("\tFile [" + dir + "/" + name + "] ("), std::string::npos) << log;
    }
    // Every line after the header is an entry of its own: a time stamp, a tab, the text.
    std::stringstream lines(log.substr(log.find("\r\n\r\n") + 4));
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(line.ends_with('\r') && line.find('\t') != std::string::npos &&
                    !line.starts_with("forged"))
            << line;
    for (const std::string& name : names)
        EXPECT_EQ(ReadFile(dir + "/" + name), TextContent(11, 20'000));
}

TEST_F(BrimbleScanTest, AFifoInPlaceOfASettingsOrListFileDoesNotHoldTheStart) {
    const std::string dir = Folder("fifo");
    WriteFile(dir + "/a.txt", TextContent(12, 50'000));
    // Without its settings the scan takes the defaults, which exclude the temporary folder
    // that holds this test's volume: it refuses the folder instead of walking it.
    const struct {
        const char* file;
        int status;
    } cases[] = {{"NeverCompress.lst", 0}, {"brimble.ini", 2}};
    for (const auto& [file, status] : cases) {
        SCOPED_TRACE(file);
        const std::string path = dataDir + "/" + file;
        std::filesystem::remove(path);
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        const Finished run = RunScanOrKill({"-d", dir});
        EXPECT_EQ(run.Status, status) << run.Err;
        const std::string log = ReadFile(dataDir + "/brimble.log");
        EXPECT_NE(log.find("\"" + path + "\": Not a regular file"), std::string::npos) << log;
        // The user is told why the settings do not apply, not only the log.
        if (status == 2) {
            EXPECT_NE(
                run.Err.find("cannot read the settings file " + path + ": Not a regular file"),
                std::string::npos)
                << run.Err;
        }
        struct stat info {};
        EXPECT_TRUE(::lstat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode)); // left alone
        std::filesystem::remove(path);
        WriteSettings("ExcludeFolders=\n");
    }
}

TEST_F(BrimbleScanTest, StopSignalsEndAfterTheFileBeingHandled) {
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
        const std::string dir = Folder(signal == SIGINT ? "many-int" : "many-term");
        constexpr int kFiles = 1500;
        for (int i = 0; i < kFiles; ++i)
            WriteFile(dir + "/f" + std::to_string(i) + ".txt", TextContent(i, 16'384));
        std::filesystem::remove(dataDir + "/brimble.log");
        std::filesystem::remove(dataDir + "/NeverCompress.lst");

        ScanProcess process({"-d:2", dir}, false);
        // Signal once the first file is under way.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (ReadFile(dataDir + "/brimble.log").find("action: COMPRESS") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        process.Signal(signal);
        const Finished run = process.Wait();

        EXPECT_EQ(run.Status, 130) << run.Err;
        const auto processed = Totals(run.Out)["Total files processed:"];
        ASSERT_FALSE(processed.empty()) << run.Out;
        EXPECT_LT(std::stoi(processed.front()), kFiles) << run.Out;
        EXPECT_TRUE(std::filesystem::exists(dataDir + "/NeverCompress.lst")); // lists saved
        for (int i = 0; i < kFiles; ++i)
            ASSERT_EQ(ReadFile(dir + "/f" + std::to_string(i) + ".txt"), TextContent(i, 16'384))
                << i;
    }
}

} // namespace
} // namespace brimble::posix
