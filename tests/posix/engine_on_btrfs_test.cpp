// The engine on the Linux back end and a real btrfs volume: found files are compressed for
// real, a compression without gain is undone, a read-only file stays read-only.

#include "../support/RecordingView.h"
#include "PosixTestSupport.h"
#include "engine/uMain.h"
#include "options/ProgramFolders.h"
#include "platform/posix/PosixPlatform.h"
#include "threads/StdUiLoop.h"

#include <gtest/gtest.h>
#include <random>

namespace brimble::posix {
namespace {

using test::LoopVolume;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class EngineOnBtrfsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { volume = LoopVolume::Create("btrfs", 256, "engine", whyNot); }
    static void TearDownTestSuite() { volume.reset(); }
    void SetUp() override {
        if (!volume) BRIMBLE_SKIP_WITHOUT_REAL_VOLUME("no btrfs volume: " + whyNot);
        // The engine's data folder (log, lists) goes to a folder of the test's own.
        ::setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
        folders = ComputeProgramFolders(platform);
        engine = std::make_unique<TfrmBrimblemain>(platform, loop, view, folders);
        TBrimbleOptions& options = engine->Options();
        options.FilterIncluding = "txt,bin";
        options.SmartDecompress = TSmartDecompress::sdNone;
        // A folder scan of the volume, held by Pause before its first file (the file here
        // keeps the walk from ending at once): found files count as in a manual scan.
        WriteFile(volume->Path("held.dat"), "x");
        ASSERT_EQ(engine->GoScanPath(volume->MountPoint()), TScanStart::ssStarted);
        engine->spdbtnPauseClick();
    }
    void TearDown() override { ::unsetenv("XDG_DATA_HOME"); }

    TFileAttrRec Entry(const std::string& path) { return *platform.FileSystem().FindEntry(path); }

    static inline std::unique_ptr<LoopVolume> volume;
    static inline std::string whyNot;
    TempDir data;
    PosixPlatform platform;
    StdUiLoop loop{platform.Clock()};
    brimble::test::RecordingView view;
    TProgramFolders folders;
    std::unique_ptr<TfrmBrimblemain> engine;
};

TEST_F(EngineOnBtrfsTest, AFoundFileIsCompressedAndCountedWithItsRealSize) {
    std::string text;
    while (text.size() < 400000)
        text += "every line of this log looks much like the one before it\n";
    WriteFile(volume->Path("notes.txt"), text);

    engine->ProcessFoundFile(nullptr, volume->MountPoint() + "/", Entry(volume->Path("notes.txt")));

    EXPECT_TRUE(platform.FileSystem().GetAttributes(volume->Path("notes.txt")).value() &
                fa::Compressed);
    EXPECT_EQ(ReadFile(volume->Path("notes.txt")), text);
    const TStats& stats = engine->Stats();
    EXPECT_EQ(stats.CompressedFiles_Count, 1);
    // What the file took on disk before: whole sectors, not its length.
    EXPECT_EQ(stats.CompressedFiles_OldSize,
              static_cast<int64_t>((text.size() + 4095) / 4096 * 4096));
    EXPECT_EQ(stats.CompressedFiles_Size, test::CompsizeDiskUsage(volume->Path("notes.txt")));
    EXPECT_LT(stats.CompressedFiles_Size, stats.CompressedFiles_OldSize / 4);
}

TEST_F(EngineOnBtrfsTest, ACompressionWithoutGainIsUndone) {
    std::mt19937 generator(5);
    std::string noise(300000, '\0');
    for (auto& c : noise)
        c = static_cast<char>(generator());
    WriteFile(volume->Path("noise.bin"), noise);

    engine->ProcessFoundFile(nullptr, volume->MountPoint() + "/", Entry(volume->Path("noise.bin")));

    EXPECT_FALSE(platform.FileSystem().GetAttributes(volume->Path("noise.bin")).value() &
                 fa::Compressed);
    EXPECT_EQ(ReadFile(volume->Path("noise.bin")), noise);
    EXPECT_EQ(engine->Stats().FilesOnDisk_Count, 1);
    EXPECT_EQ(engine->Stats().CompressedFiles_Count, 0);
}

TEST_F(EngineOnBtrfsTest, AReadOnlyFileStaysReadOnly) {
    const std::string path = volume->Path("frozen.txt");
    WriteFile(path, std::string(100000, 'z'));
    ::chmod(path.c_str(), 0444);

    EXPECT_TRUE(engine->TryCompressFile(path, TCompressAction::caCompress));

    struct stat info {};
    ::stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0444u);
    EXPECT_EQ(platform.FileSystem().GetAttributes(path).value(), fa::ReadOnly | fa::Compressed);
    EXPECT_TRUE(engine->TryCompressFile(path, TCompressAction::caDecompress));
    ::stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0444u);
    EXPECT_EQ(ReadFile(path), std::string(100000, 'z'));
}

} // namespace
} // namespace brimble::posix
