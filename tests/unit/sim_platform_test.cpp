// The sim back end behaves like Windows volumes where the engine relies on it.

#include "platform/sim/SimPlatform.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace brimble::sim {
namespace {

class SimPlatformTest : public ::testing::Test {
protected:
    void SetUp() override { sim.AddVolume("C:\\", DriveType::Fixed, "NTFS", 4096, "System"); }

    // Every entry of a listing as "name size attr".
    std::vector<std::string> List(const std::string& dir) {
        auto listing = sim.OpenListing(dir);
        EXPECT_TRUE(listing) << dir;
        std::vector<std::string> seen;
        TFileAttrRec entry;
        while (listing && (*listing)->Next(entry)) {
            seen.push_back(entry.Name + " " + std::to_string(entry.Size) + " " +
                           std::to_string(entry.Attr));
        }
        return seen;
    }

    std::vector<std::string> Names(const std::string& dir) {
        std::vector<std::string> names;
        for (const auto& line : List(dir))
            names.push_back(line.substr(0, line.find(' ')));
        return names;
    }

    SimPlatform sim;
};

using Strings = std::vector<std::string>;

// ----- paths -----

TEST_F(SimPlatformTest, PathSyntaxOfDriveLetters) {
    EXPECT_EQ(sim.PathDelimiter(), '\\');
    EXPECT_EQ(sim.DriveOfPath("C:\\a\\b.txt"), "C:\\");
    EXPECT_EQ(sim.DriveOfPath("d:\\"), "d:\\");
    for (const char* noDrive : {"", "C:", "\\\\server\\share\\x", "a\\b", "1:\\x"}) {
        EXPECT_EQ(sim.DriveOfPath(noDrive), "") << noDrive;
    }
    // A letter, ":" and "\\", as the scan path check of a real Windows build asks.
    for (const char* good : {"C:\\", "e:\\Data\\Sub"}) {
        EXPECT_TRUE(sim.IsAcceptableScanPath(good)) << good;
    }
    for (const char* bad :
         {"", "C", "C:", "C:Data", "C:/Data", "Data\\Sub", "\\\\server\\share", "::\\", "1:\\x"}) {
        EXPECT_FALSE(sim.IsAcceptableScanPath(bad)) << bad;
    }
}

TEST_F(SimPlatformTest, NamesMatchWithoutLetterCaseAndKeepTheirOwn) {
    sim.AddFile("C:\\Données\\Ärger.txt", 10);
    sim.AddFile("C:\\Данные\\Σημείωση.doc", 20);
    EXPECT_TRUE(sim.FileExists("c:\\DONNÉES\\äRGER.TXT"));
    EXPECT_TRUE(sim.FileExists("C:\\ДАННЫЕ\\σημείωση.DOC"));
    EXPECT_TRUE(sim.DirectoryExists("c:\\данные\\"));
    auto entry = sim.FindEntry("C:\\DONNÉES\\ÄRGER.TXT");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->Name, "Ärger.txt");
    EXPECT_EQ(entry->Size, 10);
    EXPECT_EQ(Names("C:\\"), (Strings{"Données", "Данные"}));
    // One name, one file: a second AddFile in other case replaces it.
    sim.AddFile("C:\\données\\ärger.TXT", 30);
    EXPECT_EQ(Names("C:\\Données"), (Strings{".", "..", "Ärger.txt"}));
    EXPECT_EQ(sim.FileSize("C:\\Données\\Ärger.txt"), 30);
}

TEST_F(SimPlatformTest, FilesAndFoldersAreToldApart) {
    sim.AddFile("C:\\Dir\\f.bin", 5);
    EXPECT_TRUE(sim.FileExists("C:\\Dir\\f.bin"));
    EXPECT_FALSE(sim.FileExists("C:\\Dir"));
    EXPECT_TRUE(sim.DirectoryExists("C:\\Dir"));
    EXPECT_TRUE(sim.DirectoryExists("C:\\Dir\\"));
    EXPECT_TRUE(sim.DirectoryExists("C:\\"));
    EXPECT_FALSE(sim.DirectoryExists("C:\\Dir\\f.bin"));
    EXPECT_FALSE(sim.DirectoryExists("D:\\"));
    EXPECT_FALSE(sim.FindEntry("C:\\")); // a root has no entry of its own
    EXPECT_FALSE(sim.FindEntry("C:\\Dir\\none"));
    EXPECT_EQ(sim.FindEntry("C:\\Dir")->Attr, fa::Directory);
    EXPECT_FALSE(sim.GetAttributes("C:\\none"));
    EXPECT_EQ(sim.Attributes("C:\\none"), 0xFFFFFFFFu);
    EXPECT_EQ(sim.FileSize("C:\\none"), -1);
}

// ----- listing -----

TEST_F(SimPlatformTest, ListingOrderDotsAndAttributes) {
    sim.AddFile("C:\\D\\b.txt", 2, fa::Archive | fa::Hidden);
    sim.AddFile("C:\\D\\A.txt", 1);
    sim.AddDirectory("C:\\D\\c");
    sim.AddFile("C:\\root.txt", 3);
    EXPECT_EQ(List("C:\\D\\"),
              (Strings{". 0 16", ".. 0 16", "A.txt 1 32", "b.txt 2 34", "c 0 16"}));
    EXPECT_EQ(Names("C:\\"), (Strings{"D", "root.txt"}));

    sim.SetListingOrder("C:\\D", {"C", "B.TXT", "missing"});
    EXPECT_EQ(Names("C:\\D"), (Strings{".", "..", "c", "b.txt", "A.txt"}));
}

TEST_F(SimPlatformTest, ListingRefusesWhatCannotBeListed) {
    sim.AddFile("C:\\D\\f.txt", 1);
    sim.AddDirectory("C:\\Locked");
    sim.SetUnreadable("C:\\Locked", true);
    EXPECT_FALSE(sim.OpenListing("C:\\Missing\\"));
    EXPECT_FALSE(sim.OpenListing("C:\\D\\f.txt\\"));
    EXPECT_FALSE(sim.OpenListing("C:\\Locked\\"));
    EXPECT_FALSE(sim.OpenListing("Q:\\"));
    EXPECT_TRUE(sim.FindEntry("C:\\Locked")); // still seen in its parent
}

TEST_F(SimPlatformTest, LinkIsListedAsReparsePointAndListsItsTarget) {
    sim.AddFile("C:\\Target\\t.txt", 1);
    sim.AddDirectoryLink("C:\\Target\\Loop", "C:\\Target");
    EXPECT_EQ(sim.FindEntry("C:\\Target\\Loop")->Attr, fa::Directory | fa::ReparsePoint);
    EXPECT_EQ(Names("C:\\Target\\Loop\\"), (Strings{".", "..", "Loop", "t.txt"}));
    EXPECT_EQ(Names("C:\\Target\\Loop\\Loop\\Loop\\"), (Strings{".", "..", "Loop", "t.txt"}));
    EXPECT_TRUE(sim.FileExists("C:\\Target\\Loop\\t.txt"));
    sim.AddDirectoryLink("C:\\Dangling", "C:\\Nowhere");
    EXPECT_FALSE(sim.OpenListing("C:\\Dangling\\"));
}

TEST_F(SimPlatformTest, EntriesThatVanishDuringAListingAreSkipped) {
    sim.AddFile("C:\\D\\a.txt", 1);
    sim.AddFile("C:\\D\\b.txt", 2);
    sim.AddFile("C:\\D\\c.txt", 3);
    Strings hookCalls;
    sim.SetListingHook([&](const std::string& dir, const std::string& name) {
        hookCalls.push_back(dir + "|" + name);
        if (name == "a.txt") {
            sim.RemoveFile("C:\\D\\b.txt");
            sim.SetFileSize("C:\\D\\c.txt", 77);
        }
    });
    EXPECT_EQ(List("C:\\D\\"), (Strings{". 0 16", ".. 0 16", "a.txt 1 32", "c.txt 77 32"}));
    EXPECT_EQ(hookCalls.size(), 5u); // b.txt was asked about, then found gone
    EXPECT_EQ(hookCalls[2], "C:\\D\\|a.txt");

    // The folder itself goes: the listing ends.
    sim.AddFile("C:\\E\\x.txt", 1);
    sim.AddFile("C:\\E\\y.txt", 1);
    sim.SetListingHook([&](const std::string&, const std::string& name) {
        if (name == "x.txt") sim.RemoveFile("C:\\E");
    });
    EXPECT_EQ(Names("C:\\E\\"), (Strings{".", ".."}));
}

// ----- compression -----

TEST_F(SimPlatformTest, CompressionSwitchesTheBitAndKeepsTheContent) {
    sim.AddFileWithContent("C:\\a.txt", "hello world");
    sim.AddDirectory("C:\\Folder");
    ASSERT_TRUE(sim.SetCompression("C:\\A.TXT", true));
    EXPECT_TRUE(sim.IsCompressed("C:\\a.txt"));
    EXPECT_EQ(sim.Content("C:\\a.txt"), "hello world");
    EXPECT_EQ(sim.FileSize("C:\\a.txt"), 11);
    ASSERT_TRUE(sim.SetCompression("C:\\Folder", true));
    EXPECT_EQ(*sim.GetAttributes("C:\\Folder"), fa::Directory | fa::Compressed);
    ASSERT_TRUE(sim.SetCompression("C:\\a.txt", false));
    EXPECT_FALSE(sim.IsCompressed("C:\\a.txt"));
    EXPECT_EQ(sim.Operations(),
              (Strings{"compress C:\\A.TXT", "compress C:\\Folder", "decompress C:\\a.txt"}));
}

TEST_F(SimPlatformTest, CompressionFailuresLeaveTheFileAlone) {
    sim.AddVolume("F:\\", DriveType::Removable, "FAT32");
    sim.AddFile("F:\\fat.txt", 10000);
    sim.AddFile("C:\\locked.txt", 10000);
    sim.SetLocked("C:\\locked.txt", true);
    sim.AddFile("C:\\ro.txt", 10000, fa::ReadOnly);
    sim.AddFile("C:\\enc.txt", 10000, fa::Encrypted);
    const struct {
        const char* path;
        int code;
    } cases[] = {
        {"C:\\missing.txt", err::FileNotFound}, {"C:\\NoDir\\x.txt", err::PathNotFound},
        {"Q:\\x.txt", err::PathNotFound},       {"C:\\locked.txt", err::SharingViolation},
        {"C:\\ro.txt", err::AccessDenied},      {"C:\\enc.txt", err::AccessDenied},
        {"F:\\fat.txt", err::InvalidFunction},
    };
    for (const auto& c : cases) {
        const uint32_t before = sim.Attributes(c.path);
        OsResult result = sim.SetCompression(c.path, true);
        EXPECT_FALSE(result) << c.path;
        EXPECT_EQ(result.code(), c.code) << c.path;
        EXPECT_EQ(sim.Attributes(c.path), before) << c.path;
    }
    EXPECT_TRUE(sim.Operations().empty());
}

TEST_F(SimPlatformTest, CompressedSizeInWholeClusters) {
    sim.AddVolume("E:\\", DriveType::Fixed, "NTFS", 512);
    const struct {
        const char* path;
        int64_t size;
        double compressibility;
        int64_t expected;
    } cases[] = {
        {"C:\\half.bin", 10000, 0.5, 8192},   // 5000 bytes in two clusters
        {"C:\\good.bin", 10000, 0.4, 4096},   // exactly one cluster
        {"C:\\tiny.bin", 100, 0.1, 4096},     // never below one cluster
        {"C:\\empty.bin", 0, 0.5, 0},         // nothing to store
        {"C:\\none.bin", 10000, 1.0, 12288},  // no gain: whole clusters of the size
        {"C:\\worse.bin", 10000, 3.0, 12288}, // never more than uncompressed
        {"E:\\small.bin", 1000, 0.5, 512},    // the volume's own clusters
        {"C:\\big.bin", int64_t{5} << 32, 0.25, int64_t{5} << 30},
    };
    for (const auto& c : cases) {
        sim.AddFile(c.path, c.size, fa::Archive, c.compressibility);
        EXPECT_EQ(sim.GetCompressedSize(c.path).value_or(-1), c.size) << "uncompressed " << c.path;
        ASSERT_TRUE(sim.SetCompression(c.path, true));
        EXPECT_EQ(sim.GetCompressedSize(c.path).value_or(-1), c.expected) << c.path;
    }
    sim.SetCompressedSizeQueryFails("C:\\half.bin", true);
    EXPECT_FALSE(sim.GetCompressedSize("C:\\half.bin"));
    EXPECT_EQ(sim.GetCompressedSize("C:\\missing.bin").code(), err::FileNotFound);
}

TEST_F(SimPlatformTest, DecryptionAndAttributeWrites) {
    sim.AddFile("C:\\enc.txt", 10, fa::Archive | fa::Encrypted);
    sim.AddFile("C:\\refused.txt", 10, fa::Encrypted);
    sim.SetDecryptRefused("C:\\refused.txt", true);
    sim.AddFile("C:\\ro.txt", 10, fa::ReadOnly | fa::Encrypted);
    sim.AddFile("C:\\plain.txt", 10);

    EXPECT_EQ(sim.Decrypt("C:\\refused.txt").code(), err::AccessDenied);
    EXPECT_EQ(sim.Decrypt("C:\\ro.txt").code(), err::AccessDenied);
    EXPECT_EQ(sim.Decrypt("C:\\missing.txt").code(), err::FileNotFound);
    EXPECT_TRUE(sim.IsEncrypted("C:\\refused.txt"));
    EXPECT_TRUE(sim.Decrypt("C:\\plain.txt"));
    ASSERT_TRUE(sim.Decrypt("C:\\enc.txt"));
    EXPECT_EQ(sim.Attributes("C:\\enc.txt"), fa::Archive);

    // Only the settable bits are written; the others stay as the file system keeps them.
    ASSERT_TRUE(sim.SetCompression("C:\\plain.txt", true));
    ASSERT_TRUE(sim.SetAttributes("C:\\plain.txt", fa::ReadOnly | fa::Hidden | fa::Directory));
    EXPECT_EQ(sim.Attributes("C:\\plain.txt"), fa::ReadOnly | fa::Hidden | fa::Compressed);
    EXPECT_EQ(sim.SetAttributes("C:\\missing.txt", 0).code(), err::FileNotFound);
    EXPECT_EQ(sim.Operations(), (Strings{"decrypt C:\\plain.txt", "decrypt C:\\enc.txt",
                                         "compress C:\\plain.txt", "setattr C:\\plain.txt 0x13"}));
}

// ----- plain files -----

TEST_F(SimPlatformTest, AtomicReplaceKeepsTheOldFileOnFailure) {
    sim.AddFileWithContent("C:\\Data\\list.lst", "old\r\n");
    sim.AddFileWithContent("C:\\RO\\list.lst", "old\r\n");
    sim.SetReadOnlyFolder("C:\\RO", true);

    sim.SetDiskFull("C:\\", true);
    EXPECT_EQ(sim.ReplaceFileAtomically("C:\\Data\\list.lst", "new\r\n").code(), err::DiskFull);
    sim.SetDiskFull("C:\\", false);
    EXPECT_EQ(sim.ReplaceFileAtomically("C:\\RO\\list.lst", "new\r\n").code(), err::AccessDenied);
    sim.SetLocked("C:\\Data\\list.lst", true);
    EXPECT_EQ(sim.ReplaceFileAtomically("C:\\Data\\list.lst", "new\r\n").code(),
              err::SharingViolation);
    sim.SetLocked("C:\\Data\\list.lst", false);
    EXPECT_EQ(sim.ReplaceFileAtomically("C:\\Nowhere\\list.lst", "x").code(), err::PathNotFound);
    EXPECT_EQ(sim.Content("C:\\Data\\list.lst"), "old\r\n");
    EXPECT_EQ(sim.Content("C:\\RO\\list.lst"), "old\r\n");
    EXPECT_FALSE(sim.Exists("C:\\Nowhere"));
    EXPECT_TRUE(sim.Operations().empty());

    ASSERT_TRUE(sim.ReplaceFileAtomically("C:\\Data\\list.lst", "newer\r\n"));
    ASSERT_TRUE(sim.ReplaceFileAtomically("C:\\Data\\fresh.lst", ""));
    std::string bytes;
    ASSERT_TRUE(sim.ReadWholeFile("C:\\Data\\LIST.lst", bytes));
    EXPECT_EQ(bytes, "newer\r\n");
    EXPECT_EQ(sim.FileSize("C:\\Data\\list.lst"), 7);
    EXPECT_EQ(sim.FileSize("C:\\Data\\fresh.lst"), 0);
    EXPECT_EQ(sim.Operations(),
              (Strings{"replace C:\\Data\\list.lst", "replace C:\\Data\\fresh.lst"}));
}

TEST_F(SimPlatformTest, WritingAppendsTruncatesAndFailsCleanly) {
    sim.AddDirectory("C:\\Log");
    {
        auto out = sim.OpenForWrite("C:\\Log\\app.log", WriteMode::Append);
        ASSERT_TRUE(out);
        EXPECT_TRUE((*out)->Write("one\r\n"));
        EXPECT_EQ(sim.FileSize("C:\\Log\\app.log"), 5); // in step while still open
        EXPECT_TRUE((*out)->Close());
    }
    ASSERT_TRUE((*sim.OpenForWrite("C:\\Log\\app.log", WriteMode::Append))->Write("two\r\n"));
    EXPECT_EQ(sim.Content("C:\\Log\\app.log"), "one\r\ntwo\r\n");
    ASSERT_TRUE((*sim.OpenForWrite("C:\\Log\\app.log", WriteMode::Truncate))->Write("3"));
    EXPECT_EQ(sim.Content("C:\\Log\\app.log"), "3");

    // A file added by size reads as zero bytes and appends after them.
    sim.AddFile("C:\\Log\\sized.bin", 3);
    ASSERT_TRUE((*sim.OpenForWrite("C:\\Log\\sized.bin", WriteMode::Append))->Write("x"));
    EXPECT_EQ(sim.Content("C:\\Log\\sized.bin"), std::string("\0\0\0x", 4));

    sim.AddFile("C:\\Log\\locked.log", 1);
    sim.SetLocked("C:\\Log\\locked.log", true);
    sim.AddDirectory("C:\\RO");
    sim.SetReadOnlyFolder("C:\\RO", true);
    const struct {
        const char* path;
        int code;
    } failures[] = {{"C:\\Nowhere\\a.log", err::PathNotFound},
                    {"C:\\RO\\a.log", err::AccessDenied},
                    {"C:\\Log\\locked.log", err::SharingViolation},
                    {"C:\\Log", err::AccessDenied}};
    for (const auto& f : failures) {
        const auto out = sim.OpenForWrite(f.path, WriteMode::Append);
        EXPECT_FALSE(out) << f.path;
        EXPECT_EQ(out.code(), f.code) << f.path;
    }
    EXPECT_FALSE(sim.Exists("C:\\RO\\a.log"));

    auto opened = sim.OpenForWrite("C:\\Log\\app.log", WriteMode::Append);
    ASSERT_TRUE(opened);
    IOutputFile& out = **opened;
    ASSERT_TRUE(out.Write("4"));
    sim.SetDiskFull("C:\\", true);
    EXPECT_EQ(out.Write("5").code(), err::DiskFull);
    EXPECT_EQ(sim.Content("C:\\Log\\app.log"), "34");
    EXPECT_EQ(out.Close().code(), err::DiskFull);
}

TEST_F(SimPlatformTest, DeletingAndCreatingFolders) {
    sim.AddFile("C:\\D\\plain.txt", 1);
    sim.AddFile("C:\\D\\ro.txt", 1, fa::ReadOnly);
    sim.AddFile("C:\\D\\locked.txt", 1);
    sim.SetLocked("C:\\D\\locked.txt", true);
    sim.AddFile("C:\\RO\\f.txt", 1);
    sim.SetReadOnlyFolder("C:\\RO", true);
    EXPECT_EQ(sim.EraseFile("C:\\D\\missing.txt").code(), err::FileNotFound);
    EXPECT_EQ(sim.EraseFile("C:\\X\\missing.txt").code(), err::PathNotFound);
    EXPECT_EQ(sim.EraseFile("C:\\D\\ro.txt").code(), err::AccessDenied);
    EXPECT_EQ(sim.EraseFile("C:\\D\\locked.txt").code(), err::SharingViolation);
    EXPECT_EQ(sim.EraseFile("C:\\RO\\f.txt").code(), err::AccessDenied);
    EXPECT_EQ(sim.EraseFile("C:\\D").code(), err::AccessDenied);
    ASSERT_TRUE(sim.EraseFile("C:\\D\\PLAIN.txt"));
    EXPECT_FALSE(sim.Exists("C:\\D\\plain.txt"));
    EXPECT_EQ(sim.Operations(), (Strings{"delete C:\\D\\PLAIN.txt"}));

    EXPECT_TRUE(sim.ForceDirectories("C:\\Users\\u\\AppData\\Local\\Brimble"));
    EXPECT_TRUE(sim.DirectoryExists("C:\\Users\\u\\AppData"));
    EXPECT_TRUE(sim.ForceDirectories("c:\\users\\U\\")); // exists already
    const struct {
        const char* path;
        int code;
    } failures[] = {{"Q:\\Brimble", err::PathNotFound},
                    {"C:\\RO\\Sub", err::AccessDenied},
                    {"C:\\D\\ro.txt\\Sub", err::PathNotFound},
                    {"C:\\D\\ro.txt", err::AlreadyExists},
                    {"Brimble", err::PathNotFound}};
    for (const auto& f : failures)
        EXPECT_EQ(sim.ForceDirectories(f.path).code(), f.code) << f.path;
}

TEST_F(SimPlatformTest, ErrorTexts) {
    const std::pair<int, const char*> texts[] = {
        {1, "Incorrect function"},
        {2, "The system cannot find the file specified"},
        {3, "The system cannot find the path specified"},
        {5, "Access is denied"},
        {32, "The process cannot access the file because it is being used by another process"},
        {112, "There is not enough space on the disk"},
        {183, "Cannot create a file when that file already exists"},
        {9999, "Unknown error 9999"},
    };
    for (const auto& [code, text] : texts)
        EXPECT_EQ(sim.SysErrorMessage(code), text);
}

// ----- volumes -----

TEST_F(SimPlatformTest, VolumesAnswerAsTheirDrivesDo) {
    sim.AddVolume("D:\\", DriveType::CDRom, "CDFS", 2048, "Disc");
    sim.AddVolume("a:", DriveType::Removable, "FAT32", 512);
    sim.AddVolume("R:\\", DriveType::RamDisk, "NTFS", 8192);
    EXPECT_EQ(sim.LogicalDrives(), (Strings{"A:\\", "C:\\", "D:\\", "R:\\"}));
    EXPECT_EQ(sim.DriveTypeOf("C:"), DriveType::Fixed);
    EXPECT_EQ(sim.DriveTypeOf("c:\\"), DriveType::Fixed);
    EXPECT_EQ(sim.DriveTypeOf("Z:\\"), DriveType::NoRootDir);

    auto info = sim.QueryVolumeInformation("C:\\");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->Label, "System");
    EXPECT_EQ(info->FileSystemName, "NTFS");
    EXPECT_TRUE(info->CanCompressFiles);
    EXPECT_FALSE(sim.QueryVolumeInformation("A:\\")->CanCompressFiles);
    EXPECT_EQ(sim.GetClusterSize("R:\\").value_or(0), 8192u);

    sim.SetVolumeNotReady("D:\\", true);
    EXPECT_EQ(sim.QueryVolumeInformation("D:\\").code(), err::NotReady);
    sim.SetClusterQueryFails("C:\\", true);
    EXPECT_FALSE(sim.GetClusterSize("C:\\"));
    EXPECT_FALSE(sim.QueryVolumeInformation("Z:\\"));

    sim.AddFile("A:\\f.txt", 1);
    sim.RemoveVolume("A:\\");
    EXPECT_FALSE(sim.FileExists("A:\\f.txt"));
    EXPECT_EQ(sim.LogicalDrives(), (Strings{"C:\\", "D:\\", "R:\\"}));
}

// ----- change watching -----

class SimChangesTest : public SimPlatformTest {
protected:
    static constexpr uint32_t WatcherFilter = 0x4B;

    // The records of one read that must not block.
    std::vector<ChangeRecord> ReadNow(IChangeReader& reader) {
        std::vector<ChangeRecord> records;
        EXPECT_TRUE(reader.Read(records));
        return records;
    }

    static Strings Texts(const std::vector<ChangeRecord>& records) {
        Strings texts;
        for (const auto& r : records)
            texts.push_back(std::to_string(r.Action) + " " + r.Name);
        return texts;
    }
};

TEST_F(SimChangesTest, ChangesOfOthersAreQueuedWithRelativeNames) {
    sim.AddDirectory("C:\\Users");
    auto reader = sim.OpenChangeReader("C:\\", WatcherFilter);
    ASSERT_TRUE(reader);
    sim.AddFile("C:\\Users\\a\\b.txt", 10);
    sim.SetFileSize("C:\\Users\\a\\b.txt", 20);
    sim.SetFileSize("C:\\Users\\a\\b.txt", 20); // same size: nothing
    sim.TouchFile("C:\\Users\\a\\b.txt");
    sim.RenameFile("C:\\Users\\a\\b.txt", "C:\\Users\\a\\c.txt");
    sim.RemoveFile("C:\\Users\\a");
    EXPECT_EQ(Texts(ReadNow(*reader)),
              (Strings{"1 Users\\a", "1 Users\\a\\b.txt", "3 Users\\a\\b.txt", "4 Users\\a\\b.txt",
                       "5 Users\\a\\c.txt", "2 Users\\a\\c.txt", "2 Users\\a"}));
}

TEST_F(SimChangesTest, FilterAndRootDecideWhatAReaderSees) {
    sim.AddDirectory("C:\\Watched");
    auto filesOnly = sim.OpenChangeReader("c:\\watched", notifyfilter::FileName);
    auto foldersAndSizes =
        sim.OpenChangeReader("C:\\Watched\\", notifyfilter::DirName | notifyfilter::Size);
    ASSERT_TRUE(filesOnly && foldersAndSizes);
    EXPECT_FALSE(sim.OpenChangeReader("C:\\Missing", WatcherFilter));
    EXPECT_EQ(sim.ChangeReaderCount(), 2);

    sim.AddFile("C:\\Outside.txt", 1);
    sim.AddDirectory("C:\\Watched\\Sub");
    sim.AddFile("C:\\Watched\\Sub\\f.txt", 1);
    sim.SetFileSize("C:\\Watched\\Sub\\f.txt", 2);
    EXPECT_EQ(Texts(ReadNow(*filesOnly)), (Strings{"1 Sub\\f.txt"}));
    EXPECT_EQ(Texts(ReadNow(*foldersAndSizes)), (Strings{"1 Sub", "3 Sub\\f.txt"}));
    filesOnly.reset();
    EXPECT_EQ(sim.ChangeReaderCount(), 1);
}

TEST_F(SimChangesTest, TheProgramsOwnWritesRaiseRecords) {
    auto reader = sim.OpenChangeReader("C:\\", WatcherFilter);
    ASSERT_TRUE(sim.ForceDirectories("C:\\Data\\Brimble"));
    {
        auto out = sim.OpenForWrite("C:\\Data\\Brimble\\app.log", WriteMode::Append);
        ASSERT_TRUE(out);
        ASSERT_TRUE((*out)->Write("x"));
        ASSERT_TRUE((*out)->Write(""));
    }
    ASSERT_TRUE(sim.ReplaceFileAtomically("C:\\Data\\Brimble\\list.lst", "a"));
    ASSERT_TRUE(sim.ReplaceFileAtomically("C:\\Data\\Brimble\\list.lst", "bb"));
    ASSERT_TRUE(sim.EraseFile("C:\\Data\\Brimble\\app.log"));
    EXPECT_EQ(Texts(ReadNow(*reader)),
              (Strings{"1 Data", "1 Data\\Brimble", "1 Data\\Brimble\\app.log",
                       "3 Data\\Brimble\\app.log",
                       // the temporary file, renamed over the target
                       "1 Data\\Brimble\\list.lst.tmp", "3 Data\\Brimble\\list.lst.tmp",
                       "4 Data\\Brimble\\list.lst.tmp", "5 Data\\Brimble\\list.lst",
                       "1 Data\\Brimble\\list.lst.tmp", "3 Data\\Brimble\\list.lst.tmp",
                       "2 Data\\Brimble\\list.lst", "4 Data\\Brimble\\list.lst.tmp",
                       "5 Data\\Brimble\\list.lst", "2 Data\\Brimble\\app.log"}));
    // Compression changes neither name nor size.
    ASSERT_TRUE(sim.ReplaceFileAtomically("C:\\c.txt", ""));
    ReadNow(*reader);
    ASSERT_TRUE(sim.SetCompression("C:\\c.txt", true));
    sim.OverflowChanges("C:\\"); // so the next read does not block
    EXPECT_EQ(Texts(ReadNow(*reader)), (Strings{"0 "}));
}

TEST_F(SimChangesTest, OverflowLosesTheQueuedRecords) {
    auto a = sim.OpenChangeReader("C:\\", WatcherFilter);
    auto b = sim.OpenChangeReader("C:\\", WatcherFilter);
    sim.AddFile("C:\\lost.txt", 1);
    sim.OverflowChanges("c:");
    sim.AddFile("C:\\later.txt", 1);
    std::vector<ChangeRecord> records;
    ASSERT_TRUE(a->Read(records));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Action, fileaction::None);
    EXPECT_EQ(records[0].Name, "");
    EXPECT_EQ(Texts(ReadNow(*a)), (Strings{"1 later.txt"}));
    ReadNow(*b); // its own queue overflowed too
    EXPECT_EQ(Texts(ReadNow(*b)), (Strings{"1 later.txt"}));
}

TEST_F(SimChangesTest, BlockedReadEndsWithRecordsWakeOrLostVolume) {
    sim.AddVolume("E:\\", DriveType::Removable, "NTFS");
    auto reader = sim.OpenChangeReader("C:\\", WatcherFilter);
    auto removable = sim.OpenChangeReader("E:\\", WatcherFilter);
    std::atomic<int> results{-1};
    std::vector<ChangeRecord> records;

    std::thread waiter([&] { results = reader->Read(records) ? 1 : 0; });
    sim.AddFile("C:\\new.txt", 1);
    waiter.join();
    EXPECT_EQ(results, 1);
    EXPECT_EQ(Texts(records), (Strings{"1 new.txt"}));

    std::thread woken([&] { results = reader->Read(records) ? 1 : 0; });
    reader->Wake();
    woken.join();
    EXPECT_EQ(results, 0);

    std::thread lost([&] { results = removable->Read(records) ? 1 : 0; });
    sim.RemoveVolume("E:\\");
    lost.join();
    EXPECT_EQ(results, 0);
    sim.AddVolume("E:\\", DriveType::Removable, "NTFS"); // a new medium needs a new reader
    EXPECT_FALSE(removable->Read(records));
}

// ----- clock, locale, process -----

TEST_F(SimPlatformTest, ClockMovesOnlyByHand) {
    EXPECT_DOUBLE_EQ(sim.Now(), 46027.5);
    const uint32_t tick = sim.TickCount();
    sim.SetUserIdleMilliseconds(500);
    for (int i = 0; i < 864; ++i)
        sim.AdvanceMilliseconds(100); // 86.4 s in small steps
    EXPECT_DOUBLE_EQ(sim.Now(), 46027.501);
    EXPECT_EQ(sim.TickCount(), tick + 86'400);
    EXPECT_EQ(sim.UserIdleMilliseconds(), 86'900u);
    sim.SetUserIdleMilliseconds(0);
    EXPECT_EQ(sim.UserIdleMilliseconds(), 0u);
    sim.AdvanceMilliseconds(int64_t{1} << 32); // the tick count wraps
    EXPECT_EQ(sim.TickCount(), tick + 86'400);
    sim.SetNow(2.25);
    EXPECT_DOUBLE_EQ(sim.Now(), 2.25);
}

TEST_F(SimPlatformTest, LocaleFormatsAndSeparators) {
    EXPECT_EQ(sim.ThousandSeparator(), ",");
    EXPECT_EQ(sim.DecimalSeparator(), ".");
    sim.SetSeparators(".", ",");
    EXPECT_EQ(sim.ThousandSeparator(), ".");
    EXPECT_EQ(sim.DecimalSeparator(), ",");
    DateParts when{2026, 1, 5, 7, 3, 9};
    EXPECT_EQ(sim.FormatShortDate(when), "05.01.2026");
    EXPECT_EQ(sim.FormatLongTime(when), "07:03:09");
}

TEST_F(SimPlatformTest, CodePageIsWindows1252) {
    struct Case {
        const char* utf8;
        const char* ansi;
        bool lossless;
    };
    const Case cases[] = {
        {"plain ASCII", "plain ASCII", true},
        {"\xC3\x84rger \xC3\xBF", "\xC4rger \xFF", true},               // Latin-1 range
        {"\xE2\x82\xAC \xC5\xB8 \xE2\x84\xA2", "\x80 \x9F \x99", true}, // 0x80-0x9F
        {"\xC2\x81\xC2\x9D", "\x81\x9D", true},                         // undefined bytes
        {"\xD0\x9E\xD1\x82", "??", false},                              // Cyrillic
        {"\xF0\x9F\x98\x80", "?", false},                               // beyond the BMP
        {"\xC2\x80", "?", false},                                       // C1 control 0x80
        {"a\xFF\x62\xC3", "a?b?", false},                               // invalid UTF-8
    };
    for (const Case& c : cases) {
        bool lossless = !c.lossless;
        EXPECT_EQ(sim.ToAnsi(c.utf8, &lossless), c.ansi) << c.utf8;
        EXPECT_EQ(lossless, c.lossless) << c.utf8;
    }
    std::string every;
    for (int b = 0; b < 256; ++b)
        every.push_back(static_cast<char>(b));
    bool lossless = false;
    EXPECT_EQ(sim.ToAnsi(sim.FromAnsi(every), &lossless), every);
    EXPECT_TRUE(lossless);
    EXPECT_EQ(sim.FromAnsi("\x80\xC4"), "\xE2\x82\xAC\xC3\x84");
}

TEST_F(SimPlatformTest, ProcessSettings) {
    EXPECT_EQ(sim.ProgramPath(), "C:\\Program Files\\Brimble\\Brimble.exe");
    sim.SetCommandLineArguments({"-d:2", "x y"});
    EXPECT_EQ(sim.CommandLineArguments(), (Strings{"-d:2", "x y"}));

    sim.SetEnvironmentVariable("windir", std::string("C:\\Windows"));
    EXPECT_EQ(sim.EnvironmentVariable("WINDIR"), "C:\\Windows");
    sim.SetEnvironmentVariable("WinDir", std::nullopt);
    EXPECT_FALSE(sim.EnvironmentVariable("windir"));

    EXPECT_EQ(sim.LocalAppDataDir(), "\\");
    sim.SetLocalAppDataDir("C:\\Users\\u\\AppData\\Local");
    EXPECT_EQ(sim.LocalAppDataDir(), "C:\\Users\\u\\AppData\\Local\\");
    sim.SetLocalAppDataDir("C:\\Local\\");
    EXPECT_EQ(sim.LocalAppDataDir(), "C:\\Local\\");

    EXPECT_FALSE(sim.GetFileVersion("C:\\a.exe"));
    sim.SetFileVersion("C:\\a.exe", FileVersion{1, 0, 3, 378});
    EXPECT_EQ(sim.GetFileVersion("c:\\A.EXE")->Build, 378);

    auto first = sim.AcquireInstanceLock("Brimble");
    ASSERT_TRUE(first && *first);
    const auto second = sim.AcquireInstanceLock("Brimble");
    EXPECT_TRUE(second.ok()); // held elsewhere is an answer, not a failure
    EXPECT_EQ(second.value(), nullptr);
    first->reset();
    EXPECT_NE(sim.AcquireInstanceLock("Brimble").value(), nullptr);

    EXPECT_EQ(sim.SetErrorMode(0x8007), 0u);
    EXPECT_EQ(sim.SetErrorMode(0), 0x8007u);
    sim.MessageBeep();
    EXPECT_EQ(sim.Beeps(), 1);
    EXPECT_TRUE(sim.SetAutostart("Brimble", "C:\\b.exe", true));
    EXPECT_EQ(sim.AutostartEntry("Brimble"), "C:\\b.exe");
    sim.SetAutostart("Brimble", "", false);
    EXPECT_FALSE(sim.AutostartEntry("Brimble"));
    sim.SetProcessPriority(1);
    EXPECT_EQ(sim.ProcessPriority(), 1);
}

TEST_F(SimPlatformTest, SetUpMistakesAreReported) {
    EXPECT_THROW(sim.AddFile("Q:\\x.txt", 1), std::invalid_argument);
    EXPECT_THROW(sim.AddFile("relative.txt", 1), std::invalid_argument);
    EXPECT_THROW(sim.SetLocked("C:\\missing.txt", true), std::invalid_argument);
    sim.AddFile("C:\\f.txt", 1);
    EXPECT_THROW(sim.AddFile("C:\\f.txt\\g.txt", 1), std::invalid_argument);
    EXPECT_NO_THROW(sim.RemoveFile("C:\\missing.txt"));
}

// ----- threads -----

// The scan thread lists, the compression worker compresses, the UI thread writes and
// another program changes files, all at once. Run under the thread sanitizer.
TEST_F(SimPlatformTest, ConcurrentUseFromSeveralThreads) {
    constexpr int Files = 200;
    for (int i = 0; i < Files; ++i)
        sim.AddFile("C:\\D\\f" + std::to_string(i) + ".bin", 8192);
    auto reader = sim.OpenChangeReader("C:\\", 0x4B);
    std::atomic<int> recordsSeen{0};
    sim.SetListingHook([&](const std::string&, const std::string&) { sim.TickCount(); });

    std::thread watcher([&] {
        std::vector<ChangeRecord> records;
        while (reader->Read(records))
            recordsSeen += static_cast<int>(records.size());
    });
    std::thread scanner([&] {
        for (int round = 0; round < 5; ++round) {
            auto listing = sim.OpenListing("C:\\D\\");
            TFileAttrRec entry;
            while (listing && (*listing)->Next(entry)) {
            }
        }
    });
    std::thread worker([&] {
        for (int i = 0; i < Files; ++i) {
            const std::string path = "C:\\D\\f" + std::to_string(i) + ".bin";
            EXPECT_TRUE(sim.SetCompression(path, true));
            EXPECT_TRUE(sim.GetCompressedSize(path));
        }
    });
    std::thread other([&] {
        for (int i = 0; i < Files; ++i)
            sim.SetFileSize("C:\\D\\f" + std::to_string(i) + ".bin", i);
    });
    for (int i = 0; i < 50; ++i) {
        auto out = sim.OpenForWrite("C:\\Data\\app.log", WriteMode::Append);
        if (!out) {
            sim.ForceDirectories("C:\\Data");
            continue;
        }
        EXPECT_TRUE((*out)->Write("line\r\n"));
    }
    scanner.join();
    worker.join();
    other.join();
    // A wake ends the reader even with records queued, so let it take some first.
    while (recordsSeen == 0)
        std::this_thread::yield();
    reader->Wake();
    watcher.join();
    EXPECT_EQ(sim.Operations().size(), static_cast<size_t>(Files));
    EXPECT_GT(recordsSeen, 0);
}

} // namespace
} // namespace brimble::sim
