// The sim's path rules: drive-letter paths compared without letter case, as NTFS does.

#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>
#include <string>

namespace brimble::sim {
namespace {

TEST(SimPathRules, CompareIgnoresLetterCase) {
    SimPlatform sim;
    const IPathRules& rules = sim.PathRules();
    EXPECT_TRUE(rules.Same("C:\\Data\\Report.txt", "c:\\data\\REPORT.TXT"));
    EXPECT_TRUE(rules.Same("Ärger", "ärger"));
    EXPECT_FALSE(rules.Same("a.txt", "a.txt "));
    EXPECT_LT(rules.Compare("apple", "Banana"), 0);
    EXPECT_GT(rules.Compare("b", "A"), 0);
}

TEST(SimPathRules, IsAtOrBelow) {
    SimPlatform sim;
    const IPathRules& rules = sim.PathRules();
    struct Case {
        const char* path;
        const char* folder;
        bool below;
    } cases[] = {
        {"C:\\Windows\\System32\\", "C:\\Windows\\", true},
        {"c:\\windows", "C:\\Windows\\", true}, // the folder itself
        {"C:\\WindowsApps\\", "C:\\Windows\\", false},
        {"C:\\", "C:\\Windows\\", false},
        {"C:\\Anything\\", "C:\\", true},
        {"D:\\Windows\\", "C:\\Windows\\", false},
        {"C:\\Data\\..\\Windows\\", "C:\\Windows", true},
        {"no path", "C:\\", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rules.IsAtOrBelow(c.path, c.folder), c.below) << c.path << " in " << c.folder;
}

TEST(SimPathRules, Normalize) {
    SimPlatform sim;
    const IPathRules& rules = sim.PathRules();
    struct Case {
        const char* path;
        const char* normalised;
    } cases[] = {
        {"C:\\Data\\..\\Windows\\", "C:\\Windows\\"},
        {"C:\\.\\Data\\\\Sub", "C:\\Data\\Sub"},
        {"c:/Data/./Sub/", "C:\\Data\\Sub\\"},
        {"C:\\..\\..\\Data", "C:\\Data"}, // ".." above the root stays at the root
        {"C:\\Data\\..", "C:\\"},
        {"C:", "C:\\"},
        {"C:\\", "C:\\"},
        {"relative\\..\\x", "relative\\..\\x"}, // not absolute: unchanged
    };
    for (const Case& c : cases)
        EXPECT_EQ(rules.Normalize(c.path), c.normalised) << c.path;
}

TEST(SimPathRules, AMarkedMountPointIsAnotherFileSystem) {
    SimPlatform sim;
    sim.AddVolume("C:\\", DriveType::Fixed);
    sim.AddVolume("D:\\", DriveType::Fixed);
    sim.AddDirectory("C:\\Data\\Mnt\\Sub");
    sim.AddDirectory("D:\\Data");
    EXPECT_TRUE(sim.SameFileSystem("C:\\Data\\", "C:\\Data\\Mnt\\Sub\\"));
    EXPECT_FALSE(sim.SameFileSystem("C:\\Data\\", "D:\\Data\\"));
    EXPECT_FALSE(sim.SameFileSystem("C:\\Data\\", "C:\\Missing\\"));

    sim.SetMountPoint("C:\\Data\\Mnt", true);
    EXPECT_FALSE(sim.SameFileSystem("C:\\Data\\", "C:\\Data\\Mnt\\"));
    EXPECT_TRUE(sim.SameFileSystem("C:\\Data\\Mnt\\", "c:\\data\\mnt\\Sub"));
    sim.SetMountPoint("C:\\Data\\Mnt", false);
    EXPECT_TRUE(sim.SameFileSystem("C:\\Data\\", "C:\\Data\\Mnt\\"));
}

TEST(SimPathRules, AFailedListingTellsWhy) {
    SimPlatform sim;
    sim.AddVolume("C:\\", DriveType::Fixed);
    sim.AddFile("C:\\D\\f.txt", 10);
    sim.AddDirectory("C:\\Locked");
    sim.SetUnreadable("C:\\Locked", true);
    struct Case {
        const char* dir;
        int code;
    } cases[] = {
        {"C:\\Missing\\", err::FileNotFound},
        {"C:\\Missing\\Deeper\\", err::PathNotFound},
        {"C:\\Locked\\", err::AccessDenied},
        {"C:\\D\\f.txt\\", err::DirectoryNameInvalid},
    };
    for (const Case& c : cases) {
        const auto listing = sim.OpenListing(c.dir);
        EXPECT_FALSE(listing) << c.dir;
        EXPECT_EQ(listing.code(), c.code) << c.dir;
    }
}

} // namespace
} // namespace brimble::sim
