// Compression and decompression of real files on a real btrfs volume: the bytes never
// change, the on-disk size is what compsize reports, and the in-place rewrite of older
// kernels never touches a file that another process has open.

#include "PosixTestSupport.h"
#include "platform/posix/OnDiskSize.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/UniqueFd.h"

#include <gtest/gtest.h>
#include <linux/fs.h>
#include <random>
#include <sys/ioctl.h>
#include <sys/xattr.h>

namespace brimble::posix {
namespace {

using test::CompsizeDiskUsage;
using test::LoopVolume;
using test::ReadFile;
using test::WriteFile;

std::string Text(std::size_t bytes) {
    std::string text;
    for (int line = 0; text.size() < bytes; ++line)
        text += "line " + std::to_string(line) + ": the quick brown fox jumps over the lazy dog\n";
    text.resize(bytes);
    return text;
}

std::string Random(std::size_t bytes, unsigned seed) {
    std::mt19937_64 generator(seed);
    std::string data(bytes, '\0');
    for (auto& c : data)
        c = static_cast<char>(generator());
    return data;
}

class BtrfsCompressionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { volume = LoopVolume::Create("btrfs", 256, "brimble", whyNot); }
    static void TearDownTestSuite() { volume.reset(); }
    void SetUp() override {
        if (!volume) BRIMBLE_SKIP_WITHOUT_REAL_VOLUME("no btrfs volume: " + whyNot);
    }

    std::string Path(const std::string& name) const { return volume->Path(name); }

    // A file with holes: text, a 1 MiB hole, random bytes, and a hole at the end.
    std::string MakeSparse(const std::string& name) {
        const std::string path = Path(name);
        const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
        const std::string head = Text(100000), middle = Random(50000, 7);
        [[maybe_unused]] auto a = ::pwrite(fd.Get(), head.data(), head.size(), 0);
        [[maybe_unused]] auto b = ::pwrite(fd.Get(), middle.data(), middle.size(), 1 << 20);
        [[maybe_unused]] auto c = ::ftruncate(fd.Get(), 3 << 20);
        return path;
    }

    bool HasCompressedData(const std::string& path) {
        const UniqueFd fd(::open(path.c_str(), O_RDONLY));
        return HasCompressedExtents(fd.Get()).value_or(true);
    }

    static inline std::unique_ptr<LoopVolume> volume;
    static inline std::string whyNot;
    PosixPlatform platform;
    IFileSystem& fs = platform.FileSystem();
};

struct Content {
    const char* name;
    std::string bytes;
};

std::vector<Content> Contents() {
    return {{"text.txt", Text(1 << 20)},
            {"random.bin", Random(300000, 1)},
            {"mixed.dat", Text(200000) + Random(200000, 2) + Text(200000)},
            {"tiny-text.txt", Text(5000)}};
}

TEST_F(BtrfsCompressionTest, ContentStaysByteIdenticalThroughCompressAndDecompress) {
    auto contents = Contents();
    contents.push_back({"sparse.img", ""});
    for (const auto& content : contents) {
        SCOPED_TRACE(content.name);
        const std::string path =
            content.bytes.empty() ? MakeSparse(content.name) : Path(content.name);
        if (!content.bytes.empty()) WriteFile(path, content.bytes);
        const std::string before = ReadFile(path);

        ASSERT_TRUE(fs.SetCompression(path, true));
        EXPECT_TRUE(*fs.GetAttributes(path) & fa::Compressed);
        EXPECT_EQ(ReadFile(path), before);
        char method[16] = {};
        ::getxattr(path.c_str(), "btrfs.compression", method, sizeof method - 1);
        EXPECT_STREQ(method, "zstd"); // later writes compress as the rewrite did

        ASSERT_TRUE(fs.SetCompression(path, false));
        EXPECT_FALSE(*fs.GetAttributes(path) & fa::Compressed);
        EXPECT_FALSE(HasCompressedData(path));
        EXPECT_EQ(ReadFile(path), before);
    }
}

TEST_F(BtrfsCompressionTest, OnDiskSizeIsWhatCompsizeReports) {
    if (test::FindTool("compsize").empty())
        BRIMBLE_SKIP_WITHOUT_REAL_VOLUME("compsize is not installed (Debian: btrfs-compsize)");
    for (const auto& content : Contents()) {
        SCOPED_TRACE(content.name);
        const std::string path = Path(content.name);
        WriteFile(path, content.bytes);
        ASSERT_TRUE(fs.SetCompression(path, true));
        const auto compressed = fs.GetCompressedSize(path);
        ASSERT_TRUE(compressed);
        EXPECT_EQ(*compressed, CompsizeDiskUsage(path));

        ASSERT_TRUE(fs.SetCompression(path, false));
        EXPECT_EQ(fs.GetCompressedSize(path).value_or(-1), CompsizeDiskUsage(path));
    }
    // Text shrinks to a fraction; random bytes are stored as they are.
    WriteFile(Path("again.txt"), Text(1 << 20));
    ASSERT_TRUE(fs.SetCompression(Path("again.txt"), true));
    EXPECT_LT(*fs.GetCompressedSize(Path("again.txt")), (1 << 20) / 4);
}

TEST_F(BtrfsCompressionTest, AFileStillBeingWrittenOutCompressesAsWellAsAFlushedOne) {
    const std::string text = Text(1 << 20);
    WriteFile(Path("flushed.txt"), text);
    {
        const UniqueFd fd(::open(Path("flushed.txt").c_str(), O_RDONLY));
        ASSERT_EQ(::fdatasync(fd.Get()), 0);
    }
    WriteFile(Path("in-memory.txt"), text); // its data waits in the page cache
    ASSERT_TRUE(fs.SetCompression(Path("in-memory.txt"), true));
    ASSERT_TRUE(fs.SetCompression(Path("flushed.txt"), true));
    EXPECT_EQ(fs.GetCompressedSize(Path("in-memory.txt")).value_or(-1),
              fs.GetCompressedSize(Path("flushed.txt")).value_or(-2));
    EXPECT_EQ(ReadFile(Path("in-memory.txt")), text);
}

TEST_F(BtrfsCompressionTest, TheEstimateOfAnOrdinaryUserIsAnUpperBoundThatStillShowsTheGain) {
    for (const auto& content : Contents()) {
        SCOPED_TRACE(content.name);
        const std::string path = Path(content.name);
        WriteFile(path, content.bytes);
        ASSERT_TRUE(fs.SetCompression(path, true));
        const UniqueFd fd(::open(path.c_str(), O_RDONLY));
        const auto exact = ExactOnDiskSize(fd.Get());
        const auto estimate = EstimatedOnDiskSize(fd.Get(), 4096);
        ASSERT_TRUE(exact && estimate);
        EXPECT_GE(*estimate, *exact);
        // What compressed well is never counted as having gained nothing.
        if (*exact < static_cast<int64_t>(content.bytes.size()) / 2) {
            EXPECT_LT(*estimate, static_cast<int64_t>(content.bytes.size()));
        }
        platform.Switches().ForceEstimatedSize = true;
        EXPECT_EQ(fs.GetCompressedSize(path).value_or(-1), *estimate);
        platform.Switches().ForceEstimatedSize = false;
    }
}

TEST_F(BtrfsCompressionTest, InPlaceRewriteDecompressesAFileNobodyElseHasOpen) {
    platform.Switches().ForceInPlaceDecompression = true;
    const std::string path = MakeSparse("rewrite.img");
    const std::string before = ReadFile(path);
    ASSERT_TRUE(fs.SetCompression(path, true));
    ASSERT_TRUE(HasCompressedData(path));
    struct stat old {};
    ::stat(path.c_str(), &old);

    ASSERT_TRUE(fs.SetCompression(path, false));
    EXPECT_FALSE(HasCompressedData(path));
    EXPECT_EQ(ReadFile(path), before);
    struct stat now {};
    ::stat(path.c_str(), &now);
    EXPECT_EQ(now.st_mtim.tv_sec, old.st_mtim.tv_sec);
    EXPECT_EQ(now.st_mtim.tv_nsec, old.st_mtim.tv_nsec);
    EXPECT_LE(now.st_blocks, old.st_blocks + 8); // the holes stayed holes
}

TEST_F(BtrfsCompressionTest, InPlaceRewriteRefusesAFileHeldOpenByAnotherProcess) {
    platform.Switches().ForceInPlaceDecompression = true;
    const std::string path = Path("held.txt");
    WriteFile(path, Text(500000));
    const std::string before = ReadFile(path);
    ASSERT_TRUE(fs.SetCompression(path, true));

    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::close(ready[0]);
        ::close(release[1]);
        const int fd = ::open(path.c_str(), O_RDONLY);
        [[maybe_unused]] auto w = ::write(ready[1], "r", 1);
        char c;
        [[maybe_unused]] auto r = ::read(release[0], &c, 1); // until the test lets go
        ::close(fd);
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);

    const OsResult held = fs.SetCompression(path, false);
    EXPECT_EQ(held.code(), EBUSY);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_TRUE(*fs.GetAttributes(path) & fa::Compressed);
    EXPECT_TRUE(HasCompressedData(path));

    ::close(release[1]);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    EXPECT_TRUE(fs.SetCompression(path, false));
    EXPECT_EQ(ReadFile(path), before);
}

TEST_F(BtrfsCompressionTest, DecompressingAFileThatHoldsNoCompressedDataRewritesNothing) {
    const std::string path = Path("plain.bin");
    WriteFile(path, Random(200000, 3));
    const UniqueFd fd(::open(path.c_str(), O_RDONLY));
    const auto before = ExactOnDiskSize(fd.Get());
    struct stat old {};
    ::stat(path.c_str(), &old);
    // A reflinked copy shares the data; a rewrite would give the file a copy of its own.
    ASSERT_EQ(test::Run({"cp", "--reflink=always", path, Path("plain-copy.bin")}).Status, 0);

    ASSERT_TRUE(fs.SetCompression(path, false));
    const auto extents = test::Run({"filefrag", "-v", path}).Output;
    EXPECT_NE(extents.find("shared"), std::string::npos) << extents;
    int flags = 0;
    ::ioctl(fd.Get(), FS_IOC_GETFLAGS, &flags);
    EXPECT_TRUE(flags & FS_NOCOMP_FL);
    EXPECT_EQ(ExactOnDiskSize(fd.Get()), before);
}

TEST_F(BtrfsCompressionTest, UndoingAUselessCompressionRestoresTheFlagsOfBefore) {
    const auto flagsOf = [](const std::string& path) {
        const UniqueFd fd(::open(path.c_str(), O_RDONLY));
        int flags = -1;
        ::ioctl(fd.Get(), FS_IOC_GETFLAGS, &flags);
        return flags & (FS_COMPR_FL | FS_NOCOMP_FL);
    };
    struct Case {
        const char* name;
        int flagsBefore;
        bool inPlace;
    };
    const Case cases[] = {
        {"none.bin", 0, false}, {"none-inplace.bin", 0, true}, {"nocomp.bin", FS_NOCOMP_FL, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform.Switches().ForceInPlaceDecompression = c.inPlace;
        const std::string path = Path(c.name);
        WriteFile(path, Random(300000, 4));
        if (c.flagsBefore) {
            const UniqueFd fd(::open(path.c_str(), O_RDONLY));
            int flags = c.flagsBefore;
            ASSERT_EQ(::ioctl(fd.Get(), FS_IOC_SETFLAGS, &flags), 0);
        }
        ASSERT_EQ(flagsOf(path), c.flagsBefore);
        const std::string before = ReadFile(path);

        ASSERT_TRUE(fs.SetCompression(path, true));
        ASSERT_TRUE(fs.SetCompression(path, false));
        EXPECT_EQ(flagsOf(path), c.flagsBefore); // lsattr shows neither 'c' nor 'm' anew
        EXPECT_LT(::getxattr(path.c_str(), "btrfs.compression", nullptr, 0), 0);
        EXPECT_EQ(ReadFile(path), before);
    }
    platform.Switches().ForceInPlaceDecompression = false;
}

TEST_F(BtrfsCompressionTest, WhatCannotBeCompressedFailsWithTheSystemsReason) {
    EXPECT_EQ(fs.SetCompression(Path("missing.txt"), true).code(), ENOENT);
    ::symlink("text.txt", Path("link.txt").c_str());
    EXPECT_EQ(fs.SetCompression(Path("link.txt"), true).code(), EOPNOTSUPP);
    ::mkfifo(Path("fifo").c_str(), 0644);
    EXPECT_EQ(fs.SetCompression(Path("fifo"), true).code(), EOPNOTSUPP);
    // Locked by its owner against change: refused even to root, the data left in place.
    for (const char* flag : {"+i", "+a"}) {
        const std::string locked = Path(std::string("locked") + flag + ".txt");
        WriteFile(locked, Text(200000));
        ASSERT_EQ(test::Run({"chattr", flag, locked}).Status, 0);
        EXPECT_EQ(fs.SetCompression(locked, true).code(), EPERM) << flag;
        EXPECT_FALSE(HasCompressedData(locked)) << flag;
        EXPECT_EQ(ReadFile(locked), Text(200000)) << flag;
        test::Run({"chattr", std::string("-") + (flag + 1), locked});
    }
    // A folder takes the flag that its new files inherit.
    ::mkdir(Path("folder").c_str(), 0755);
    ASSERT_TRUE(fs.SetCompression(Path("folder/"), true));
    EXPECT_TRUE(*fs.GetAttributes(Path("folder")) & fa::Compressed);
}

// A higher level stores the same bytes in less space (kernel 6.15 and later take the level;
// older ones compress at the default, which the log says).
TEST_F(BtrfsCompressionTest, AHigherLevelStoresTheSameBytesSmaller) {
    std::string said;
    platform.SetDiagnosticsSink([&](const std::string& message, int) { said += message; });
    // Source text with some variety, as real files have.
    std::string text;
    for (const char* header : {"/usr/include/stdio.h", "/usr/include/stdlib.h",
                               "/usr/include/string.h", "/usr/include/unistd.h"})
        text += ReadFile(header);
    while (text.size() < (1 << 20))
        text += text;
    WriteFile(Path("level-3.h"), text);
    WriteFile(Path("level-15.h"), text);
    ASSERT_TRUE(fs.SetCompression(Path("level-3.h"), true, 3));
    ASSERT_TRUE(fs.SetCompression(Path("level-15.h"), true, 15));
    platform.SetDiagnosticsSink(nullptr);
    EXPECT_EQ(ReadFile(Path("level-15.h")), text);
    if (said.find("takes no compression level") != std::string::npos)
        GTEST_SKIP() << "this kernel takes no level: " << said;
    EXPECT_LT(CompsizeDiskUsage(Path("level-15.h")), CompsizeDiskUsage(Path("level-3.h")));
}

} // namespace
} // namespace brimble::posix
