#include "base/DateTime.h"
#include "platform/sim/SimPlatform.h"
#include "support/DelegatingPlatform.h"
#include "support/EngineFixture.h"
#include "threads/TLogFile.h"

#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace brimble {
namespace {

const std::string Rule(62, '-');
const std::string Header = Rule + "\r\nBrimble version 1.0.3 build 378\r\n" + Rule + "\r\n\r\n";
const std::string Noon = "05.01.2026 12:00:00\t";

TDateTime At(int year, int month, int day, int hour, int minute, int second) {
    return *EncodeDateTime({year, month, day, hour, minute, second});
}

class LogFile : public ::testing::Test {
protected:
    void SetUp() override {
        sim.AddVolume("C:\\", DriveType::Fixed);
        sim.AddFile(program, 1000);
        sim.SetProgramPath(program);
        sim.SetFileVersion(program, FileVersion{1, 0, 3, 378});
        sim.AddDirectory(dir);
        sim.SetNow(At(2026, 1, 5, 12, 0, 0));
    }
    std::unique_ptr<TLogFile> Open(bool appendLog = true, const std::string& file = {}) {
        return std::make_unique<TLogFile>(sim, "Brimble", file.empty() ? path : file, appendLog);
    }

    sim::SimPlatform sim;
    const std::string program = "C:\\Program Files\\Brimble\\Brimble.exe";
    const std::string dir = "C:\\Users\\u\\AppData\\Local\\Brimble";
    const std::string path = dir + "\\Brimble.log";
};

TEST_F(LogFile, TheFirstEntryCreatesTheFileWithItsHeader) {
    auto log = Open();
    EXPECT_FALSE(sim.Exists(path)); // nothing is written before the first entry
    log->Write("Program started", 1);
    sim.SetNow(At(2026, 1, 5, 12, 0, 7));
    log->Write("second", 1);
    EXPECT_EQ(sim.Content(path),
              Header + Noon + "Program started\r\n" + "05.01.2026 12:00:07\tsecond\r\n");
    EXPECT_EQ(sim.Beeps(), 0);
}

// A log that reached its size goes to the one older file, which a later turn replaces; the
// new log starts with its header.
TEST_F(LogFile, AFullLogBecomesTheOlderFileAndANewOneBegins) {
    auto log = std::make_unique<TLogFile>(sim, "Brimble", path, true, 200);
    log->Write("first run " + std::string(150, 'a'), 1);
    log->Write("second", 1); // the log is past 200 bytes: it turns first
    log->Write("third", 1);
    EXPECT_EQ(sim.Content(path), Header + Noon + "second\r\n" + Noon + "third\r\n");
    EXPECT_NE(sim.Content(path + ".1").find("first run"), std::string::npos);

    log->Write(std::string(200, 'b'), 1);
    log->Write("fourth", 1);
    EXPECT_EQ(sim.Content(path), Header + Noon + "fourth\r\n");
    const std::string older = sim.Content(path + ".1");
    EXPECT_EQ(older.find("first run"), std::string::npos); // the older file was replaced
    EXPECT_NE(older.find("bbbb"), std::string::npos);
}

// The log knows itself by the file, not the text of its path.
TEST_F(LogFile, KnowsItsOwnFileUnderAnotherSpelling) {
    auto log = Open();
    log->Write("x", 1);
    EXPECT_TRUE(log->IsLogFile(path));
    EXPECT_TRUE(log->IsLogFile("c:\\users\\U\\AppData\\Local\\Brimble\\BRIMBLE.LOG"));
    sim.AddFile("C:\\Other\\Brimble.log", 10);
    EXPECT_FALSE(log->IsLogFile("C:\\Other\\Brimble.log"));
    EXPECT_FALSE(log->IsLogFile(path + ".1"));
}

TEST_F(LogFile, AppendingKeepsAnExistingFileWithoutANewHeader) {
    sim.AddFileWithContent(path, "earlier run\r\n");
    auto log = Open(true);
    EXPECT_EQ(sim.Content(path), "earlier run\r\n");
    log->Write("Program started", 1);
    EXPECT_EQ(sim.Content(path), "earlier run\r\n" + Noon + "Program started\r\n");
}

TEST_F(LogFile, WithoutAppendingAnExistingFileIsTruncatedToTheHeaderAtOnce) {
    sim.AddFileWithContent(path, "earlier run\r\n");
    auto log = Open(false);
    EXPECT_EQ(sim.Content(path), Header);
    log->Write("entry", 1);
    EXPECT_EQ(sim.Content(path), Header + Noon + "entry\r\n");
}

TEST_F(LogFile, ALogDeletedWhileRunningIsRecreatedWithItsHeader) {
    auto log = Open();
    log->Write("before", 1);
    ASSERT_TRUE(sim.EraseFile(path).ok());
    log->Write("after", 1);
    EXPECT_EQ(sim.Content(path), Header + Noon + "after\r\n");
}

TEST_F(LogFile, AnEntryIsWrittenWhenItsLevelDoesNotExceedTheLogLevel) {
    for (int logLevel = -2; logLevel <= 2; ++logLevel) {
        SCOPED_TRACE(logLevel);
        sim.EraseFile(path);
        auto log = Open();
        log->SetLogLevel(logLevel);
        std::string expected;
        for (int entryLevel = -1; entryLevel <= 2; ++entryLevel) {
            const std::string message = "level " + std::to_string(entryLevel);
            log->Write(message, entryLevel);
            if (entryLevel <= logLevel) expected += Noon + message + "\r\n";
        }
        // A rejected entry does not even create the file.
        EXPECT_EQ(sim.Content(path), expected.empty() ? "" : Header + expected);
        EXPECT_EQ(sim.Exists(path), !expected.empty());
    }
}

TEST_F(LogFile, TheTimeIsLeftOutOnlyAtMidnightExactly) {
    auto log = Open();
    sim.SetNow(At(2026, 1, 6, 0, 0, 0));
    log->Write("midnight", 1);
    sim.SetNow(At(2026, 1, 6, 0, 0, 1));
    log->Write("a second later", 1);
    sim.SetNow(At(2026, 1, 6, 23, 59, 59) + 0.9996 / 86400.0);
    log->Write("just before the next midnight", 1);
    EXPECT_EQ(sim.Content(path), Header + "06.01.2026\tmidnight\r\n" +
                                     "06.01.2026 00:00:01\ta second later\r\n" +
                                     "07.01.2026\tjust before the next midnight\r\n");
}

TEST_F(LogFile, LineBreaksInAMessageContinueOnLinesWithoutAStamp) {
    auto log = Open();
    log->Write("Exception occured:\r\nfirst\nsecond\rthird", -1);
    log->Write("trailing break\r\n", 1);
    EXPECT_EQ(sim.Content(path), Header + Noon +
                                     "Exception occured:\r\nfirst\r\nsecond\r\nthird\r\n" + Noon +
                                     "trailing break\r\n\r\n");
}

TEST_F(LogFile, AFileThatCannotBeCreatedDropsEntriesSilently) {
    sim.AddDirectory("C:\\ReadOnly");
    sim.SetReadOnlyFolder("C:\\ReadOnly", true);
    const std::string places[] = {"C:\\Missing\\Brimble.log", "C:\\ReadOnly\\Brimble.log",
                                  "Z:\\Brimble\\Brimble.log"};
    for (const auto& file : places) {
        SCOPED_TRACE(file);
        for (bool appendLog : {true, false}) {
            std::unique_ptr<TLogFile> log;
            ASSERT_NO_THROW(log = Open(appendLog, file));
            EXPECT_NO_THROW(log->Write("dropped", -1));
            EXPECT_FALSE(sim.Exists(file));
        }
    }
    EXPECT_EQ(sim.Beeps(), 0);
}

TEST_F(LogFile, AnExistingFileThatCannotBeOpenedIsLeftUntouched) {
    sim.AddFileWithContent(path, "earlier run\r\n");
    sim.SetReadOnlyFolder(dir, true);
    auto log = Open();
    EXPECT_NO_THROW(log->Write("dropped", 1));
    EXPECT_EQ(sim.Content(path), "earlier run\r\n");
    EXPECT_EQ(sim.Beeps(), 0);

    sim.SetReadOnlyFolder(dir, false);
    sim.SetLocked(path, true);
    EXPECT_NO_THROW(log->Write("dropped", 1));
    EXPECT_EQ(sim.Content(path), "earlier run\r\n");
}

TEST_F(LogFile, AWriteThatFailsAfterOpeningBeepsOncePerEntry) {
    auto log = Open();
    log->Write("first", 1);
    sim.SetDiskFull("C:\\", true);
    EXPECT_NO_THROW(log->Write("lost", 1));
    EXPECT_NO_THROW(log->Write("lost too", 0));
    EXPECT_EQ(sim.Beeps(), 2);
    sim.SetDiskFull("C:\\", false);
    log->Write("back", 1);
    EXPECT_EQ(sim.Content(path), Header + Noon + "first\r\n" + Noon + "back\r\n");
    EXPECT_EQ(sim.Beeps(), 2);
}

TEST_F(LogFile, AHeaderThatCannotBeWrittenLeavesNoHeaderlessFile) {
    auto log = Open();
    sim.SetDiskFull("C:\\", true);
    log->Write("lost", 1);
    EXPECT_FALSE(sim.Exists(path));
    EXPECT_EQ(sim.Beeps(), 0); // the header's failure is not signalled
    sim.SetDiskFull("C:\\", false);
    log->Write("back", 1);
    EXPECT_EQ(sim.Content(path), Header + Noon + "back\r\n");
}

// The locale of a system whose 8-bit code page has no letter beyond ASCII.
class AsciiLocalePlatform : public test::DelegatingPlatform {
public:
    explicit AsciiLocalePlatform(sim::SimPlatform& sim) : DelegatingPlatform(sim), FLocale(sim) {}
    ILocale& Locale() override { return FLocale; }

private:
    class AsciiLocale : public ILocale {
    public:
        explicit AsciiLocale(ILocale& base) : FBase(base) {}
        std::string ThousandSeparator() override { return FBase.ThousandSeparator(); }
        std::string DecimalSeparator() override { return FBase.DecimalSeparator(); }
        std::string FormatShortDate(const DateParts& when) override {
            return FBase.FormatShortDate(when);
        }
        std::string FormatLongTime(const DateParts& when) override {
            return FBase.FormatLongTime(when);
        }
        std::string ToAnsi(std::string_view utf8, bool* lossless) override {
            std::string bytes;
            for (unsigned char c : utf8) {
                if (c < 0x80)
                    bytes.push_back(static_cast<char>(c));
                else if (c >= 0xC0)
                    bytes.push_back('?'); // one default character per letter
            }
            if (lossless) *lossless = bytes.size() == utf8.size();
            return bytes;
        }

    private:
        ILocale& FBase;
    };
    AsciiLocale FLocale;
};

TEST_F(LogFile, TextIsWrittenInTheSystemsCodePage) {
    AsciiLocalePlatform platform(sim);
    TLogFile log(platform, "Brimble", path, true);
    log.Write("File [C:\\\xc3\x9c"
              "ber.txt] action: COMPRESS",
              1);
    EXPECT_EQ(sim.Content(path), Header + Noon + "File [C:\\?ber.txt] action: COMPRESS\r\n");
}

TEST_F(LogFile, EntriesOfTwoThreadsAreWholeLines) {
    auto log = Open();
    log->SetLogLevel(2);
    constexpr int PerThread = 200;
    const std::string padding(100, 'x');
    auto message = [&](char name, int i) { return name + std::to_string(i) + " " + padding; };
    auto writer = [&](char name) {
        for (int i = 0; i < PerThread; ++i)
            log->Write(message(name, i), 2);
    };
    {
        std::jthread a(writer, 'a');
        std::jthread b(writer, 'b');
    }
    const std::string content = sim.Content(path);
    ASSERT_EQ(content.substr(0, Header.size()), Header);
    std::istringstream lines(content.substr(Header.size()));
    int next[2] = {0, 0};
    std::string line;
    while (std::getline(lines, line)) {
        ASSERT_GE(line.size(), Noon.size() + 1);
        ASSERT_EQ(line.substr(0, Noon.size()), Noon);
        const char name = line[Noon.size()];
        ASSERT_TRUE(name == 'a' || name == 'b') << line;
        int& expected = next[name - 'a'];
        EXPECT_EQ(line.substr(Noon.size()), message(name, expected) + "\r");
        ++expected;
    }
    EXPECT_EQ(next[0], PerThread);
    EXPECT_EQ(next[1], PerThread);
}

// The log as the engine sets it up: its place and its level from the command line.
class EngineLog : public test::EngineFixture {
protected:
    const std::string path = "C:\\Users\\u\\AppData\\Local\\Brimble\\Brimble.log";
};

TEST_F(EngineLog, LivesInTheUserDataFolderNamedAfterTheProgram) {
    EXPECT_EQ(Engine().LogFile().FileName(), path);
    EXPECT_EQ(Engine().LogFile().AppName(), "Brimble");
}

TEST_F(EngineLog, ARenamedProgramLogsUnderItsOwnName) {
    sim.AddFile("C:\\Tools\\Tool.exe", 1000);
    sim.SetProgramPath("C:\\Tools\\Tool.exe");
    EXPECT_EQ(Engine().LogFile().FileName(), "C:\\Users\\u\\AppData\\Local\\Brimble\\Tool.log");
}

TEST_F(EngineLog, TheCommandLineSetsTheLevel) {
    struct Case {
        std::vector<std::string> args;
        int level;
    } const cases[] = {{{}, 0}, {{"-d"}, 1}, {{"-D:2"}, 2}, {{"-d:x"}, 1}, {{"-d:-2"}, -2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        engine.reset();
        sim.EraseFile(path);
        sim.SetCommandLineArguments(c.args);
        Engine().Log("Exception occured: boom", -1);
        EXPECT_EQ(Engine().LogFile().LogLevel(), c.level);
        const std::string content = sim.Content(path);
        // "Program started" only from level 1 on; an unhandled error from level -1 on.
        EXPECT_EQ(content.find("\tProgram started\r\n") != std::string::npos, c.level >= 1);
        EXPECT_EQ(content.find("\tException occured: boom\r\n") != std::string::npos,
                  c.level >= -1);
    }
}

TEST_F(EngineLog, ProgramStartedIsTheFirstEntryAfterTheHeader) {
    sim.SetCommandLineArguments({"-d"});
    Engine();
    EXPECT_EQ(sim.Content(path), Header + Noon + "Program started\r\n");
}

} // namespace
} // namespace brimble
