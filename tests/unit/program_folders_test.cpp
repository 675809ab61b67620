#include "options/ProgramFolders.h"
#include "platform/sim/SimPlatform.h"
#include "support/DelegatingPlatform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace brimble {
namespace {

using ::testing::_;
using ::testing::NiceMock;
using ::testing::Return;

class ProgramFolders : public ::testing::Test {
protected:
    void SetUp() override {
        sim.AddVolume("C:\\", DriveType::Fixed);
        sim.SetLocalAppDataDir("C:\\Users\\u\\AppData\\Local");
        UseProgram("C:\\Tools\\Brimble.exe");
    }
    void UseProgram(const std::string& path) {
        sim.AddFile(path, 1000);
        sim.SetProgramPath(path);
    }
    sim::SimPlatform sim;
    const std::string userData = "C:\\Users\\u\\AppData\\Local\\Brimble";
};

TEST_F(ProgramFolders, SettingsBesideTheProgramWin) {
    sim.AddFileWithContent("C:\\Tools\\Brimble.ini", "[GENERAL]\r\n");
    const TProgramFolders folders = ComputeProgramFolders(sim);
    EXPECT_EQ(folders.IniFileName, "C:\\Tools\\Brimble.ini");
    EXPECT_EQ(folders.LanguagesDir, "C:\\Tools\\Languages\\");
    EXPECT_EQ(folders.UserDataDir, userData);
    EXPECT_TRUE(sim.DirectoryExists(userData)); // created even though it holds no settings
}

TEST_F(ProgramFolders, WithoutSettingsBesideTheProgramTheyLieInTheUserDataFolder) {
    const TProgramFolders folders = ComputeProgramFolders(sim);
    EXPECT_EQ(folders.IniFileName, userData + "\\Brimble.ini");
    EXPECT_TRUE(sim.DirectoryExists(userData));
    EXPECT_FALSE(sim.Exists(folders.IniFileName)); // only the folder is made, no file
}

TEST_F(ProgramFolders, SettingsAreNamedAfterTheProgramFileButTheDataFolderIsNot) {
    UseProgram("C:\\Tools\\Tool.exe");
    EXPECT_EQ(ComputeProgramFolders(sim).IniFileName, userData + "\\Tool.ini");

    sim.AddFileWithContent("C:\\Tools\\Tool.ini", "");
    const TProgramFolders folders = ComputeProgramFolders(sim);
    EXPECT_EQ(folders.IniFileName, "C:\\Tools\\Tool.ini");
    EXPECT_EQ(folders.UserDataDir, userData);
}

TEST_F(ProgramFolders, OnlyTheProgramNamesExtensionIsReplaced) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\My.Tools\\Brimble", "Brimble.ini"},           // no extension: one is added
        {"C:\\My.Tools\\Brimble.v2.exe", "Brimble.v2.ini"}, // only the last one goes
        {"C:\\Brimble.exe", "Brimble.ini"},
    };
    for (const auto& [program, iniName] : cases) {
        SCOPED_TRACE(program);
        UseProgram(program);
        EXPECT_EQ(ComputeProgramFolders(sim).IniFileName, userData + "\\" + iniName);
    }
    EXPECT_EQ(ComputeProgramFolders(sim).LanguagesDir, "C:\\Languages\\");
}

TEST_F(ProgramFolders, MissingParentsOfTheDataFolderAreCreated) {
    sim.SetLocalAppDataDir("C:\\Users\\new\\AppData\\Local\\"); // given with its delimiter
    const TProgramFolders folders = ComputeProgramFolders(sim);
    EXPECT_EQ(folders.UserDataDir, "C:\\Users\\new\\AppData\\Local\\Brimble");
    EXPECT_TRUE(sim.DirectoryExists(folders.UserDataDir));
}

TEST_F(ProgramFolders, AMissingLocalAppDataValueGivesAFolderAtTheRoot) {
    sim.SetLocalAppDataDir("");
    EXPECT_EQ(ComputeProgramFolders(sim).UserDataDir, "\\Brimble");
}

TEST_F(ProgramFolders, ADataFolderThatCannotBeCreatedIsNotReported) {
    sim.AddDirectory("C:\\Locked");
    sim.SetReadOnlyFolder("C:\\Locked", true);
    sim.SetLocalAppDataDir("C:\\Locked");
    TProgramFolders folders;
    EXPECT_NO_THROW(folders = ComputeProgramFolders(sim));
    EXPECT_EQ(folders.UserDataDir, "C:\\Locked\\Brimble");
    EXPECT_EQ(folders.IniFileName, "C:\\Locked\\Brimble\\Brimble.ini");
}

// A platform with the Linux path syntax: the folders must use its delimiter only.
class MockFileSystem : public IFileSystem {
public:
    MOCK_METHOD(char, PathDelimiter, (), (const, override));
    MOCK_METHOD(std::string, DriveOfPath, (const std::string&), (override));
    MOCK_METHOD(bool, IsAcceptableScanPath, (const std::string&), (override));
    MOCK_METHOD(const IPathRules&, PathRules, (), (const, override));
    MOCK_METHOD(std::optional<uint64_t>, FileSystemIdOf, (const std::string&), (override));
    MOCK_METHOD(OsValue<std::string>, ResolveFolder, (const std::string&), (override));
    MOCK_METHOD(OsValue<std::unique_ptr<IDirListing>>, OpenListing, (const std::string&),
                (override));
    MOCK_METHOD(std::optional<TFileAttrRec>, FindEntry, (const std::string&), (override));
    MOCK_METHOD(OsValue<uint32_t>, GetAttributes, (const std::string&), (override));
    MOCK_METHOD(OsResult, SetAttributes, (const std::string&, uint32_t), (override));
    MOCK_METHOD(OsResult, Decrypt, (const std::string&), (override));
    MOCK_METHOD(OsResult, SetCompression, (const std::string&, bool, int), (override));
    MOCK_METHOD(OsValue<int64_t>, GetCompressedSize, (const std::string&), (override));
    MOCK_METHOD(OsValue<TDataLayout>, ExamineData, (const std::string&), (override));
    MOCK_METHOD(std::string, SysErrorMessage, (int), (override));
    MOCK_METHOD(bool, FileExists, (const std::string&), (override));
    MOCK_METHOD(bool, DirectoryExists, (const std::string&), (override));
    MOCK_METHOD(OsResult, ForceDirectories, (const std::string&), (override));
    MOCK_METHOD(OsResult, EraseFile, (const std::string&), (override));
    MOCK_METHOD(OsResult, RenameEntry, (const std::string&, const std::string&), (override));
    MOCK_METHOD(OsResult, ReadWholeFile, (const std::string&, std::string&), (override));
    MOCK_METHOD(OsResult, ReplaceFileAtomically, (const std::string&, std::string_view),
                (override));
    MOCK_METHOD(OsValue<std::unique_ptr<IOutputFile>>, OpenForWrite,
                (const std::string&, WriteMode), (override));
};

class SlashProcess : public IProcess {
public:
    std::string ProgramPath() override { return "/opt/brimble/brimble"; }
    std::vector<std::string> CommandLineArguments() override { return {}; }
    std::optional<std::string> EnvironmentVariable(const std::string&) override { return {}; }
    std::string LocalAppDataDir() override { return "/home/u/.local/share/"; }
    std::optional<FileVersion> GetFileVersion(const std::string&) override { return {}; }
    OsValue<std::unique_ptr<IInstanceLock>> AcquireInstanceLock(const std::string&) override {
        return std::unique_ptr<IInstanceLock>();
    }
    void SetProcessPriority(PriorityLevel) override {}
    void SetCurrentThreadPriority(PriorityLevel) override {}
    OsResult SetAutostart(const std::string&, const std::string&, bool) override {
        return OsResult::Fail(1);
    }
    bool AutostartExists(const std::string&) override { return false; }
    uint32_t SetErrorMode(uint32_t) override { return 0; }
    void MessageBeep() override {}
};

class SlashPlatform : public test::DelegatingPlatform {
public:
    explicit SlashPlatform(sim::SimPlatform& rest) : DelegatingPlatform(rest) {
        ON_CALL(fs, PathDelimiter()).WillByDefault(Return('/'));
    }
    IFileSystem& FileSystem() override { return fs; }
    IProcess& Process() override { return process; }

    NiceMock<MockFileSystem> fs;
    SlashProcess process;
};

TEST_F(ProgramFolders, PathsUseThePlatformsDelimiter) {
    SlashPlatform posix(sim);
    EXPECT_CALL(posix.fs, DirectoryExists("/home/u/.local/share/Brimble")).WillOnce(Return(false));
    EXPECT_CALL(posix.fs, ForceDirectories("/home/u/.local/share/Brimble"))
        .WillOnce(Return(OsResult()));
    EXPECT_CALL(posix.fs, FileExists("/opt/brimble/brimble.ini")).WillOnce(Return(false));
    EXPECT_CALL(posix.fs, DirectoryExists("/opt/brimble/Languages/")).WillOnce(Return(true));
    EXPECT_CALL(posix.fs, DirectoryExists("/opt/brimble/help/")).WillOnce(Return(true));

    const TProgramFolders folders = ComputeProgramFolders(posix);
    EXPECT_EQ(folders.LanguagesDir, "/opt/brimble/Languages/");
    EXPECT_EQ(folders.HelpDir, "/opt/brimble/help/");
    EXPECT_EQ(folders.UserDataDir, "/home/u/.local/share/Brimble");
    EXPECT_EQ(folders.IniFileName, "/home/u/.local/share/Brimble/brimble.ini");
}

TEST_F(ProgramFolders, AnExistingDataFolderIsLeftAlone) {
    SlashPlatform posix(sim);
    EXPECT_CALL(posix.fs, DirectoryExists(_)).WillRepeatedly(Return(true));
    EXPECT_CALL(posix.fs, ForceDirectories(_)).Times(0);
    EXPECT_CALL(posix.fs, FileExists("/opt/brimble/brimble.ini")).WillOnce(Return(true));
    EXPECT_EQ(ComputeProgramFolders(posix).IniFileName, "/opt/brimble/brimble.ini");
}

TEST_F(ProgramFolders, AProgramInABinFolderFindsItsLanguagesInTheDataFolderBesideIt) {
    SlashPlatform posix(sim);
    EXPECT_CALL(posix.fs, DirectoryExists(_)).WillRepeatedly(Return(true));
    EXPECT_CALL(posix.fs, FileExists(_)).WillRepeatedly(Return(false));
    EXPECT_CALL(posix.fs, DirectoryExists("/opt/brimble/Languages/")).WillOnce(Return(false));
    EXPECT_EQ(ComputeProgramFolders(posix).LanguagesDir, "/opt/share/brimble/Languages/");
}

} // namespace
} // namespace brimble
