// The file calls of the Windows back end on the NTFS volume that Wine reports for C:.

#include "Win32TestSupport.h"
#include "platform/win32/Win32Platform.h"

#include <gtest/gtest.h>
#include <map>

namespace brimble::win32 {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

class Win32FileSystemTest : public ::testing::Test {
protected:
    Win32Platform platform;
    IFileSystem& fs = platform.FileSystem();
    TempFolder dir;

    std::map<std::string, TFileAttrRec> List(const std::string& folder) {
        std::map<std::string, TFileAttrRec> entries;
        auto listing = fs.OpenListing(folder);
        EXPECT_TRUE(listing) << folder << ": " << fs.SysErrorMessage(listing.code());
        if (!listing) return entries;
        TFileAttrRec entry;
        while ((*listing)->Next(entry))
            entries[entry.Name] = entry;
        return entries;
    }
};

TEST(Win32WideText, RoundTripsEveryPlaneAndReplacesIllFormedText) {
    for (const std::string text :
         {"", "plain", "Données Ärger", "Данные Σημείωση", "日本語", "\xF0\x9F\x93\x81 folder"}) {
        EXPECT_EQ(Narrow(Widen(text)), text);
    }
    EXPECT_EQ(Widen("\xF0\x9F\x93\x81").size(), 2u); // a surrogate pair
    EXPECT_EQ(Narrow(Widen("a\xFFz")), "a\xEF\xBF\xBDz");
    EXPECT_EQ(Narrow(std::wstring{L'a', wchar_t(0xD800), L'z'}), "a\xEF\xBF\xBDz");
}

TEST(Win32WideText, LongPathsGoBehindThePrefixNormalised) {
    EXPECT_EQ(ApiPath("C:/Data/file.txt"), L"C:\\Data\\file.txt");
    const std::string deep = "C:\\" + std::string(300, 'x') + "\\..\\y\\.\\z";
    EXPECT_EQ(ApiPath(deep), L"\\\\?\\C:\\y\\z");
    const std::string share = "\\\\server\\share\\" + std::string(300, 'x');
    EXPECT_EQ(ApiPath(share), L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L'x'));
    EXPECT_EQ(WithoutLongPrefix(L"\\\\?\\C:\\Data"), "C:\\Data");
    EXPECT_EQ(WithoutLongPrefix(L"\\\\?\\UNC\\server\\share"), "\\\\server\\share");
}

TEST_F(Win32FileSystemTest, PathSyntaxOfDriveLetters) {
    EXPECT_EQ(fs.PathDelimiter(), '\\');
    EXPECT_EQ(fs.DriveOfPath("C:\\a\\b.txt"), "C:\\");
    for (const char* noDrive : {"", "C:", "\\\\server\\share\\x", "a\\b"})
        EXPECT_EQ(fs.DriveOfPath(noDrive), "") << noDrive;
    for (const char* good : {"C:\\", "c:\\Data\\Sub"})
        EXPECT_TRUE(fs.IsAcceptableScanPath(good)) << good;
    for (const char* bad :
         {"", "C:", "C:Data", "C:/Data", "Data\\Sub", "\\\\server\\share", "1:\\"})
        EXPECT_FALSE(fs.IsAcceptableScanPath(bad)) << bad;
    EXPECT_TRUE(fs.PathRules().Same("C:\\DATA\\Ärger.txt", "c:\\data\\ärger.TXT"));
    EXPECT_TRUE(fs.PathRules().IsAtOrBelow("C:\\Data\\Sub\\x", "c:\\data\\"));
}

TEST_F(Win32FileSystemTest, ListsEveryEntryWithItsAttributesAndSize) {
    WriteFile(dir / "empty.txt", "");
    WriteFile(dir / "big.bin", std::string(70000, 'b'));
    WriteFile(dir / "Données Ärger.txt", "x");
    WriteFile(dir / "hidden.txt", "h");
    ASSERT_TRUE(fs.ForceDirectories(dir / "sub"));
    ASSERT_TRUE(fs.SetAttributes(dir / "hidden.txt", fa::Hidden | fa::ReadOnly));

    const auto entries = List(dir.Path + "\\");
    EXPECT_EQ(entries.at("empty.txt").Size, 0);
    EXPECT_EQ(entries.at("big.bin").Size, 70000);
    EXPECT_EQ(entries.at("Données Ärger.txt").Size, 1);
    EXPECT_EQ(entries.at("hidden.txt").Attr & (fa::Hidden | fa::ReadOnly),
              fa::Hidden | fa::ReadOnly);
    EXPECT_TRUE(entries.at("sub").Attr & fa::Directory);
    EXPECT_EQ(entries.at("sub").Size, 0);
    EXPECT_EQ(List(dir.Path).size(), entries.size()); // with or without the delimiter

    const auto found = fs.FindEntry(dir / "BIG.bin");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Name, "big.bin"); // the name as stored
    EXPECT_EQ(found->Size, 70000);
    EXPECT_FALSE(fs.FindEntry(dir / "*.bin"));
    EXPECT_FALSE(fs.FindEntry(dir / "missing"));
    EXPECT_FALSE(fs.FindEntry("C:\\"));

    ASSERT_TRUE(fs.SetAttributes(dir / "hidden.txt", 0));
    EXPECT_EQ(fs.GetAttributes(dir / "hidden.txt").value() & (fa::Hidden | fa::ReadOnly), 0u);
}

TEST_F(Win32FileSystemTest, MissingFoldersFailWithTheirWindowsError) {
    const auto listing = fs.OpenListing(dir / "missing\\");
    ASSERT_FALSE(listing);
    EXPECT_EQ(listing.code(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(fs.SysErrorMessage(listing.code()).back() == '.', false);
    const auto attributes = fs.GetAttributes(dir / "missing");
    EXPECT_FALSE(attributes);
    EXPECT_EQ(attributes.code(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs.ResolveFolder(dir / "missing"));
    WriteFile(dir / "file.txt", "f");
    EXPECT_EQ(fs.ResolveFolder(dir / "file.txt").code(), ERROR_DIRECTORY);
    EXPECT_EQ(fs.SysErrorMessage(0x7FFFFFF0), "Error 2147483632");
}

TEST_F(Win32FileSystemTest, PathsLongerThanTheClassicLimitWork) {
    std::string deep = dir.Path;
    while (deep.size() < 400)
        deep += "\\a folder with a rather long name";
    ASSERT_TRUE(fs.ForceDirectories(deep));
    EXPECT_TRUE(fs.DirectoryExists(deep));
    const std::string file = deep + "\\file.txt";
    ASSERT_TRUE(fs.ReplaceFileAtomically(file, "content"));
    EXPECT_TRUE(fs.FileExists(file));
    const auto entries = List(deep + "\\");
    ASSERT_TRUE(entries.count("file.txt"));
    EXPECT_EQ(entries.at("file.txt").Size, 7);
    const auto onDisk = fs.GetCompressedSize(file);
    EXPECT_TRUE(onDisk) << fs.SysErrorMessage(onDisk.code());
    EXPECT_EQ(onDisk.value_or(-1), 7);
    const auto resolved = fs.ResolveFolder(deep);
    EXPECT_TRUE(resolved) << fs.SysErrorMessage(resolved.code());
    EXPECT_EQ(resolved.value_or(""), deep);
    std::string bytes;
    ASSERT_TRUE(fs.ReadWholeFile(file, bytes));
    EXPECT_EQ(bytes, "content");
    EXPECT_TRUE(fs.EraseFile(file));
    EXPECT_FALSE(fs.FileExists(file));
}

// Wine reports NTFS but refuses the compression request: the failure the engine must
// survive, with the file as it was.
TEST_F(Win32FileSystemTest, RefusedCompressionLeavesTheFileAsItWas) {
    const std::string content(50000, 'z');
    WriteFile(dir / "data.txt", content);
    const OsResult compressed = fs.SetCompression(dir / "data.txt", true);
    if (compressed) GTEST_SKIP() << "this system compresses files: not Wine";
    EXPECT_EQ(compressed.code(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(fs.SysErrorMessage(compressed.code()), "Request not supported");
    EXPECT_FALSE(fs.IsRefusal(compressed.code())); // retried later, as a locked file
    EXPECT_TRUE(fs.IsRefusal(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadFile(dir / "data.txt"), content);
    EXPECT_EQ(fs.GetCompressedSize(dir / "data.txt").value(), 50000);
    EXPECT_FALSE(fs.GetAttributes(dir / "data.txt").value() & fa::Compressed);
    const auto layout = fs.ExamineData(dir / "data.txt");
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->OnDiskSize, 50000);
    EXPECT_FALSE(layout->LinkedFile);

    EXPECT_FALSE(fs.SetCompression(dir / "missing.txt", true));
    EXPECT_EQ(fs.GetCompressedSize(dir / "missing.txt").code(), ERROR_FILE_NOT_FOUND);
}

TEST_F(Win32FileSystemTest, PlainFilesAreReplacedAppendedAndRenamedSafely) {
    ASSERT_TRUE(fs.ReplaceFileAtomically(dir / "list.lst", "old"));
    ASSERT_TRUE(fs.ReplaceFileAtomically(dir / "list.lst", "new"));
    EXPECT_EQ(ReadFile(dir / "list.lst"), "new");
    EXPECT_FALSE(fs.FileExists(dir / "list.lst.tmp"));

    {
        auto log = fs.OpenForWrite(dir / "a.log", WriteMode::Append);
        ASSERT_TRUE(log);
        ASSERT_TRUE((*log)->Write("one\n"));
        ASSERT_TRUE((*log)->Close());
    }
    auto log = fs.OpenForWrite(dir / "a.log", WriteMode::Append);
    ASSERT_TRUE(log && (*log)->Write("two\n") && (*log)->Close());
    EXPECT_EQ(ReadFile(dir / "a.log"), "one\ntwo\n");
    auto truncated = fs.OpenForWrite(dir / "a.log", WriteMode::Truncate);
    ASSERT_TRUE(truncated && (*truncated)->Write("3") && (*truncated)->Close());
    EXPECT_EQ(ReadFile(dir / "a.log"), "3");

    auto input = fs.OpenForRead(dir / "list.lst");
    ASSERT_TRUE(input);
    std::string part;
    ASSERT_TRUE((*input)->ReadAt(1, 10, part));
    EXPECT_EQ(part, "ew");

    EXPECT_EQ(fs.RenameEntry(dir / "a.log", dir / "list.lst").code(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(ReadFile(dir / "list.lst"), "new");
    EXPECT_TRUE(fs.RenameEntry(dir / "a.log", dir / "b.log"));
    EXPECT_TRUE(fs.SameFile(dir / "b.log", dir / "B.LOG"));
    EXPECT_FALSE(fs.SameFile(dir / "b.log", dir / "list.lst"));
    std::string bytes;
    EXPECT_FALSE(fs.ReadWholeFile(dir.Path, bytes)); // a folder
}

TEST_F(Win32FileSystemTest, FoldersResolveAndTellTheirVolume) {
    ASSERT_TRUE(fs.ForceDirectories(dir / "a\\b"));
    EXPECT_EQ(fs.ResolveFolder(dir / "a\\.\\b\\..\\b\\").value(), dir / "a\\b");
    EXPECT_EQ(fs.ResolveFolder("C:\\").value(), "C:\\");
    EXPECT_TRUE(fs.SameFileSystem(dir / "a", "C:\\"));
    EXPECT_FALSE(fs.FileSystemIdOf(dir / "missing"));
}

// A link is listed as a reparse point, never as what it leads to.
TEST_F(Win32FileSystemTest, LinksAreListedAsReparsePoints) {
    ASSERT_TRUE(fs.ForceDirectories(dir / "target"));
    WriteFile(dir / "target\\inside.txt", "i");
    // Some Wine versions answer success without making the link.
    if (!::CreateSymbolicLinkW(ApiPath(dir / "link").c_str(), ApiPath(dir / "target").c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY) ||
        !fs.GetAttributes(dir / "link"))
        GTEST_SKIP() << "no symbolic links here";
    const auto entries = List(dir.Path);
    ASSERT_TRUE(entries.count("link"));
    EXPECT_TRUE(entries.at("link").Attr & fa::ReparsePoint);
    EXPECT_FALSE(entries.at("target").Attr & fa::ReparsePoint);
}

} // namespace
} // namespace brimble::win32
