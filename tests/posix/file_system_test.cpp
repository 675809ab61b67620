// Files and folders through the Linux back end, on the machine's own temporary folder.

#include "PosixTestSupport.h"
#include "platform/posix/PosixPlatform.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sys/resource.h>

namespace brimble::posix {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class PosixFileSystemTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return dir.Path() + "/" + name; }
    mode_t Mode(const std::string& name) const {
        struct stat info {};
        ::lstat(Path(name).c_str(), &info);
        return info.st_mode & 07777;
    }

    TempDir dir;
    PosixPlatform platform;
    IFileSystem& fs = platform.FileSystem();
};

TEST_F(PosixFileSystemTest, ListingReportsEveryEntryWithItsWindowsAttributes) {
    WriteFile(Path("plain.txt"), "hello");
    WriteFile(Path(".hidden"), "x");
    WriteFile(Path("ro.txt"), "read only");
    ::chmod(Path("ro.txt").c_str(), 0444);
    ::mkdir(Path("sub").c_str(), 0755);
    ::symlink("sub", Path("link-dir").c_str());
    ::symlink("plain.txt", Path("link-file").c_str());
    ::symlink("nowhere", Path("dangling").c_str());

    std::map<std::string, TFileAttrRec> seen;
    auto listing = fs.OpenListing(dir.Path() + "/");
    ASSERT_TRUE(listing);
    for (TFileAttrRec entry; (*listing)->Next(entry);)
        seen[entry.Name] = entry;

    const struct {
        const char* name;
        uint32_t attr;
        int64_t size;
    } expected[] = {
        {"plain.txt", fa::Normal, 5},
        {".hidden", fa::Hidden, 1},
        {"ro.txt", fa::ReadOnly, 9},
        {"sub", fa::Directory, 0},
        {"link-dir", fa::ReparsePoint | fa::Directory, 3},
        {"link-file", fa::ReparsePoint, 9},
        {"dangling", fa::ReparsePoint, 7},
    };
    for (const auto& e : expected) {
        ASSERT_TRUE(seen.contains(e.name)) << e.name;
        EXPECT_EQ(seen[e.name].Attr, e.attr) << e.name;
        EXPECT_EQ(seen[e.name].Size, e.size) << e.name;
    }
    EXPECT_EQ(fs.FindEntry(Path("ro.txt"))->Attr, fa::ReadOnly);
    EXPECT_EQ(fs.GetAttributes(Path("link-dir")).value_or(0), fa::ReparsePoint | fa::Directory);
    EXPECT_EQ(fs.GetAttributes(Path("missing")).code(), ENOENT);
}

// A file reached through a linked folder is the same file; one of the same name elsewhere
// is not. (The log uses it not to report itself.)
TEST_F(PosixFileSystemTest, SameFileLooksThroughLinksAndRenamingNeverReplaces) {
    ::mkdir((dir.Path() + "/real").c_str(), 0755);
    ::mkdir((dir.Path() + "/other").c_str(), 0755);
    WriteFile(dir.Path() + "/real/brimble.log", "log");
    WriteFile(dir.Path() + "/other/brimble.log", "other");
    ASSERT_EQ(::symlink((dir.Path() + "/real").c_str(), (dir.Path() + "/home").c_str()), 0);
    EXPECT_TRUE(fs.SameFile(dir.Path() + "/home/brimble.log", dir.Path() + "/real/brimble.log"));
    EXPECT_FALSE(fs.SameFile(dir.Path() + "/other/brimble.log", dir.Path() + "/real/brimble.log"));
    EXPECT_FALSE(fs.SameFile(dir.Path() + "/missing.log", dir.Path() + "/missing.log"));

    EXPECT_EQ(
        fs.RenameEntry(dir.Path() + "/real/brimble.log", dir.Path() + "/other/brimble.log").code(),
        EEXIST);
    EXPECT_EQ(ReadFile(dir.Path() + "/other/brimble.log"), "other");
    EXPECT_TRUE(fs.RenameEntry(dir.Path() + "/real/brimble.log", dir.Path() + "/real/b.log.1"));
    EXPECT_EQ(ReadFile(dir.Path() + "/real/b.log.1"), "log");
}

TEST_F(PosixFileSystemTest, ALinkToAFolderIsNeverListedThrough) {
    ::mkdir(Path("sub").c_str(), 0755);
    WriteFile(Path("sub/inside.txt"), "x");
    ::symlink(".", Path("sub/loop").c_str());
    EXPECT_TRUE(fs.DirectoryExists(Path("sub/loop")));
    EXPECT_FALSE(fs.OpenListing(Path("sub/loop/")));
    EXPECT_TRUE(fs.OpenListing(Path("sub/")));
}

TEST_F(PosixFileSystemTest, AVeryDeepWalkHoldsNoDescriptorPerLevel) {
    constexpr int Depth = 150;
    std::string path = dir.Path();
    for (int i = 0; i < Depth; ++i) {
        path += "/d";
        ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
    }
    struct rlimit saved {};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    struct rlimit low = saved;
    low.rlim_cur = 64; // far fewer descriptors than levels
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);

    // Walk as the scan thread does: each level's listing stays open while the walk goes down.
    int deepest = 0;
    std::function<void(const std::string&, int)> walk = [&](const std::string& folder, int level) {
        auto listing = fs.OpenListing(folder);
        if (!listing) return;
        deepest = std::max(deepest, level);
        for (TFileAttrRec entry; (*listing)->Next(entry);)
            if ((entry.Attr & fa::Directory) && entry.Name.front() != '.')
                walk(folder + entry.Name + "/", level + 1);
    };
    walk(dir.Path() + "/", 0);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(deepest, Depth);
}

TEST_F(PosixFileSystemTest, ReadOnlyTogglesOnlyTheOwnersWriteBit) {
    WriteFile(Path("f"), "x");
    ::chmod(Path("f").c_str(), 0664);
    ASSERT_TRUE(fs.SetAttributes(Path("f"), fa::ReadOnly));
    EXPECT_EQ(Mode("f"), 0464u);
    EXPECT_EQ(*fs.GetAttributes(Path("f")) & fa::ReadOnly, fa::ReadOnly);
    ASSERT_TRUE(fs.SetAttributes(Path("f"), fa::Normal));
    EXPECT_EQ(Mode("f"), 0664u);

    // A link has no permissions of its own, and its target is not touched through it.
    ::symlink("f", Path("link").c_str());
    EXPECT_TRUE(fs.SetAttributes(Path("link"), fa::ReadOnly));
    EXPECT_EQ(Mode("f"), 0664u);
    EXPECT_EQ(fs.SetAttributes(Path("missing"), fa::ReadOnly).code(), ENOENT);
}

TEST_F(PosixFileSystemTest, AtomicReplaceKeepsPermissionsAndLeavesNoTemporaryFile) {
    WriteFile(Path("list.lst"), "old");
    // Left by a save that was killed; a file of the user's that merely looks alike stays.
    WriteFile(Path(".list.lst.123456.tmp"), "half");
    WriteFile(Path(".list.lst.notes.tmp"), "mine");
    ::chmod(Path("list.lst").c_str(), 0600);
    ASSERT_TRUE(fs.ReplaceFileAtomically(Path("list.lst"), "new content"));
    EXPECT_EQ(ReadFile(Path("list.lst")), "new content");
    EXPECT_EQ(Mode("list.lst"), 0600u);

    // A settings file kept as a link stays a link; its target takes the content.
    WriteFile(Path("real.ini"), "a=1");
    ::symlink("real.ini", Path("linked.ini").c_str());
    ASSERT_TRUE(fs.ReplaceFileAtomically(Path("linked.ini"), "a=2"));
    EXPECT_EQ(ReadFile(Path("real.ini")), "a=2");
    struct stat link {};
    ::lstat(Path("linked.ini").c_str(), &link);
    EXPECT_TRUE(S_ISLNK(link.st_mode));

    // A failed replace (a folder stands in the way) keeps what was there.
    ::mkdir(Path("folder").c_str(), 0755);
    WriteFile(Path("folder/keep"), "x");
    EXPECT_FALSE(fs.ReplaceFileAtomically(Path("folder"), "data"));
    EXPECT_TRUE(fs.FileExists(Path("folder/keep")));

    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 5); // list.lst, .list.lst.notes.tmp, real.ini, linked.ini, folder
    EXPECT_FALSE(fs.FileExists(Path(".list.lst.123456.tmp")));
}

TEST_F(PosixFileSystemTest, PlainFileOperations) {
    ASSERT_TRUE(fs.ForceDirectories(Path("a/b/c")));
    EXPECT_TRUE(fs.DirectoryExists(Path("a/b/c/")));
    EXPECT_FALSE(fs.FileExists(Path("a/b/c")));

    auto out = fs.OpenForWrite(Path("a/log"), WriteMode::Append);
    ASSERT_TRUE(out);
    ASSERT_TRUE((*out)->Write("one\r\n"));
    ASSERT_TRUE((*out)->Close());
    out = fs.OpenForWrite(Path("a/log"), WriteMode::Append);
    ASSERT_TRUE(out);
    ASSERT_TRUE((*out)->Write("two\r\n") && (*out)->Close());
    std::string bytes;
    ASSERT_TRUE(fs.ReadWholeFile(Path("a/log"), bytes));
    EXPECT_EQ(bytes, "one\r\ntwo\r\n");
    out = fs.OpenForWrite(Path("a/log"), WriteMode::Truncate);
    ASSERT_TRUE(out);
    ASSERT_TRUE((*out)->Write("three") && (*out)->Close());
    ASSERT_TRUE(fs.ReadWholeFile(Path("a/log"), bytes));
    EXPECT_EQ(bytes, "three");

    EXPECT_EQ(fs.OpenForWrite(Path("no/such/folder/log"), WriteMode::Append).code(), ENOENT);
    EXPECT_TRUE(fs.EraseFile(Path("a/log")));
    EXPECT_EQ(fs.EraseFile(Path("a/log")).code(), ENOENT);
    EXPECT_EQ(fs.ReadWholeFile(Path("a/log"), bytes).code(), ENOENT);
}

TEST_F(PosixFileSystemTest, PathRulesAndErrorTexts) {
    EXPECT_EQ(fs.PathDelimiter(), '/');
    EXPECT_TRUE(fs.IsAcceptableScanPath("/home/u/"));
    EXPECT_FALSE(fs.IsAcceptableScanPath("home/u"));
    EXPECT_FALSE(fs.IsAcceptableScanPath("C:\\Users"));
    EXPECT_EQ(fs.DriveOfPath("relative/path"), "");
    // A path that does not exist yet belongs to the drive of its nearest existing folder.
    EXPECT_EQ(fs.DriveOfPath(Path("not/yet/there")), fs.DriveOfPath(dir.Path()));
    EXPECT_EQ(fs.DriveOfPath("/"), "/");
    EXPECT_EQ(fs.SysErrorMessage(ENOENT), "No such file or directory");
    EXPECT_EQ(fs.SysErrorMessage(EBUSY), "Device or resource busy");
}

} // namespace
} // namespace brimble::posix
