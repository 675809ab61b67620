// The Linux path rules: names compare byte for byte, and folders tell their file system
// by device number without following links.

#include "PosixTestSupport.h"
#include "engine/TCompressList.h"
#include "platform/posix/PosixPlatform.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace brimble::posix {
namespace {

using test::TempDir;

class PosixPathRules : public ::testing::Test {
protected:
    PosixPlatform platform;
    IFileSystem& fs = platform.FileSystem();
    const IPathRules& rules = fs.PathRules();
};

TEST_F(PosixPathRules, NamesCompareExactly) {
    EXPECT_FALSE(rules.Same("/d/Report.txt", "/d/report.txt"));
    EXPECT_TRUE(rules.Same("/d/Report.txt", "/d/Report.txt"));
    EXPECT_LT(rules.Compare("B", "a"), 0);    // byte order
    EXPECT_GT(rules.Compare("\xff", "a"), 0); // invalid UTF-8 orders as unsigned bytes

    // The lists keep two files that differ only in letter case apart.
    TCompressList list(rules);
    EXPECT_TRUE(list.Add("/d/Report.txt=46000"));
    EXPECT_TRUE(list.Add("/d/report.txt=46000"));
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.IndexOfName("/d/REPORT.txt"), TCompressList::npos);
}

TEST_F(PosixPathRules, IsAtOrBelow) {
    struct Case {
        const char* path;
        const char* folder;
        bool below;
    } cases[] = {
        {"/home/u/tmp/x/", "/home/u/tmp/", true},
        {"/home/u/tmp", "/home/u/tmp/", true},
        {"/home/u/Tmp/", "/home/u/tmp/", false},
        {"/home/u/tmpfiles/", "/home/u/tmp/", false},
        {"/home/", "/home/u/", false},
        {"/anything/", "/", true},
        {"relative", "/", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rules.IsAtOrBelow(c.path, c.folder), c.below) << c.path << " in " << c.folder;
}

TEST_F(PosixPathRules, Normalize) {
    struct Case {
        const char* path;
        const char* normalised;
    } cases[] = {
        {"/home/u/../v/", "/home/v/"},
        {"/home//u/./x", "/home/u/x"},
        {"/../../etc", "/etc"},
        {"/home/..", "/"},
        {"/", "/"},
        {"//", "/"},
        {"/a/.../b", "/a/.../b"},
        {"relative/../x", "relative/../x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rules.Normalize(c.path), c.normalised) << c.path;
}

TEST_F(PosixPathRules, FileSystemsAreToldApartWithoutFollowingLinks) {
    TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    std::filesystem::create_directories(dir.Path() + "/a/b");
    std::filesystem::create_directory_symlink("/proc", dir.Path() + "/link");
    EXPECT_TRUE(fs.SameFileSystem(dir.Path() + "/", dir.Path() + "/a/b/"));
    EXPECT_FALSE(fs.SameFileSystem(dir.Path() + "/", "/proc/"));
    // The link itself lies here; where it points does not count.
    EXPECT_TRUE(fs.SameFileSystem(dir.Path(), dir.Path() + "/link/"));
    EXPECT_FALSE(fs.FileSystemIdOf(dir.Path() + "/missing/"));

    const auto listing = fs.OpenListing(dir.Path() + "/missing/");
    EXPECT_FALSE(listing);
    EXPECT_EQ(listing.code(), ENOENT);
}

} // namespace
} // namespace brimble::posix
