#include "base/TextCodec.h"
#include "options/OptionsStorage.h"
#include "options/OptionsTable.h"
#include "options/ProgramFolders.h"
#include "platform/sim/SimPlatform.h"

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace brimble {
namespace {

const std::string kDir = "C:\\Users\\u\\AppData\\Local\\Brimble";
const std::string kIni = kDir + "\\Brimble.ini";

class OptionsStorage : public ::testing::Test {
protected:
    void SetUp() override {
        sim.AddVolume("C:\\", DriveType::Fixed);
        sim.AddDirectory(kDir);
    }

    TBrimbleOptions LoadFrom(const std::string& content) {
        sim.AddFileWithContent(kIni, content);
        return Load();
    }
    TBrimbleOptions Load() {
        TBrimbleOptions options;
        LoadOptionsFromFile(sim, kIni, options);
        return options;
    }
    static TBrimbleOptions Defaults() {
        TBrimbleOptions options;
        ApplyDefaults(options);
        return options;
    }
    // The key of every Key=Value line, in file order.
    std::vector<std::string> KeysInFile() {
        std::vector<std::string> keys;
        const std::string text = sim.Content(kIni);
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find("\r\n", start);
            const std::string line = text.substr(start, end - start);
            if (const auto eq = line.find('='); eq != std::string::npos)
                keys.push_back(line.substr(0, eq));
            if (end == std::string::npos) break;
            start = end + 2;
        }
        return keys;
    }

    sim::SimPlatform sim;
};

// The bytes of a literal that holds NUL characters, without its terminator.
template <std::size_t N> std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

std::string EraseAll(std::string text, char c) {
    std::erase(text, c);
    return text;
}

std::string Repeated(const std::string& text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i)
        result += text;
    return result;
}

void ExpectSameOptions(const TBrimbleOptions& a, const TBrimbleOptions& b) {
    for (const TOptionSetting& setting : OptionSettings()) {
        SCOPED_TRACE(std::string(setting.Key));
        if (setting.Form == TOptionForm::String)
            EXPECT_EQ(TextField(a, setting), TextField(b, setting));
        else if (setting.Form == TOptionForm::FolderList)
            EXPECT_EQ(ListField(a, setting), ListField(b, setting));
        else
            EXPECT_EQ(GetStoredNumber(a, setting), GetStoredNumber(b, setting));
    }
}

TEST_F(OptionsStorage, WithoutAFileTheLoadGivesTheDefaultsAndTheFirstSaveWritesEveryKeyInOrder) {
    const TBrimbleOptions loaded = Load();
    ExpectSameOptions(loaded, Defaults());

    ASSERT_TRUE(SaveOptionsToFile(sim, kIni, loaded));
    const std::string text = sim.Content(kIni);
    EXPECT_TRUE(text.starts_with("[GENERAL]\r\nSmartCompressMode=0\r\nAutostart=0\r\n")) << text;
    EXPECT_NE(text.find("\r\nCompressionDelay=3\r\nCompressAgainDelay=5\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nExcludeFolders=%windir%=\t%temp%=\t%tmp%=\t%localappdata%=\t"
                        "%appdata%=\r\n"),
              std::string::npos);
    std::vector<std::string> expected;
    for (const TOptionSetting& setting : OptionSettings())
        expected.emplace_back(setting.Key);
    EXPECT_EQ(KeysInFile(), expected);
    ExpectSameOptions(Load(), loaded);
}

TEST_F(OptionsStorage, StoredValuesReadAsTheirFormsSay) {
    struct Case {
        std::string line;
        std::function<void(const TBrimbleOptions&)> check;
    };
    const std::vector<Case> cases = {
        {"CompressionDelay=7", [](auto& o) { EXPECT_EQ(o.CompressionDelay, 180); }},
        {"CompressionDelay=12", [](auto& o) { EXPECT_EQ(o.CompressionDelay, 20); }},
        {"CompressionDelay=-1", [](auto& o) { EXPECT_EQ(o.CompressionDelay, 20); }},
        {"CompressAgainDelay=5", [](auto& o) { EXPECT_EQ(o.CompressAgainDelay, 300000); }},
        {"CompressAgainDelay=9", [](auto& o) { EXPECT_EQ(o.CompressAgainDelay, 300000); }},
        {"CompressAgainDelay=0", [](auto& o) { EXPECT_EQ(o.CompressAgainDelay, 15000); }},
        {"Priority=0", [](auto& o) { EXPECT_EQ(o.Priority, 0); }},
        {"Priority=$106", [](auto& o) { EXPECT_EQ(o.Priority, 6); }},
        {"SmartCompressMode=258",
         [](auto& o) { EXPECT_EQ(o.SmartCompressMode, TSmartCompressMode::scmInteractive); }},
        {"MaxFileSizeFiltered=0x10000000",
         [](auto& o) { EXPECT_EQ(o.MaxFileSizeFiltered, 268435456); }},
        {"MaxFileSizeFiltered=0X10000000",
         [](auto& o) { EXPECT_EQ(o.MaxFileSizeFiltered, 268435456); }},
        {"MaxFileSizeFiltered=$10000000",
         [](auto& o) { EXPECT_EQ(o.MaxFileSizeFiltered, 268435456); }},
        {"MaxFileSizeUnfiltered=1099511627776",
         [](auto& o) { EXPECT_EQ(o.MaxFileSizeUnfiltered, 1099511627776); }},
        {"MaxFileSizeUnfiltered=12MB",
         [](auto& o) { EXPECT_EQ(o.MaxFileSizeUnfiltered, 67108864); }},
        {"IdleTime= 7 ", [](auto& o) { EXPECT_EQ(o.IdleTime, 7); }},
        {"IdleTime=-5", [](auto& o) { EXPECT_EQ(o.IdleTime, -5); }},
        {"IdleTime=4294967296", [](auto& o) { EXPECT_EQ(o.IdleTime, 1); }},
        {"IdleTime=0xFFFFFFFF", [](auto& o) { EXPECT_EQ(o.IdleTime, -1); }},
        {"IdleTime=", [](auto& o) { EXPECT_EQ(o.IdleTime, 1); }},
        {"IdleTime=0x", [](auto& o) { EXPECT_EQ(o.IdleTime, 1); }},
        {"MoveToNeverCompressDelay=ten", [](auto& o) { EXPECT_EQ(o.MoveToNeverCompressDelay, 1); }},
        {"BeepOnComplete=0", [](auto& o) { EXPECT_FALSE(o.BeepOnComplete); }},
        {"BeepOnComplete=no", [](auto& o) { EXPECT_TRUE(o.BeepOnComplete); }},
        {"Autostart=2", [](auto& o) { EXPECT_TRUE(o.Autostart); }},
        {"Language=Deutsch", [](auto& o) { EXPECT_EQ(o.Language, "Deutsch"); }},
        {" language =  Deutsch ", [](auto& o) { EXPECT_EQ(o.Language, "Deutsch"); }},
        {"ExcludeFolders = C:\\A=\tC:\\B C= ",
         [](auto& o) {
             EXPECT_EQ(o.ExcludeFolders, (std::vector<std::string>{"C:\\A=", "C:\\B C="}));
         }},
        {"ExcludeFolders=\tC:\\A=\t",
         [](auto& o) {
             EXPECT_EQ(o.ExcludeFolders, (std::vector<std::string>{"", "C:\\A=", ""}));
         }},
        {"FilterIncluding=", [](auto& o) { EXPECT_EQ(o.FilterIncluding, ""); }},
        {"FilterExcluding=zip, rar",
         [](auto& o) {
             EXPECT_EQ(o.FilterExcluding, "zip, rar");
             EXPECT_EQ(o.FilterIncluding, kDefaultFilterIncluding);
         }},
        {"ExcludeFolders=", [](auto& o) { EXPECT_TRUE(o.ExcludeFolders.empty()); }},
        {"ExcludeFolders=\"\"",
         [](auto& o) { EXPECT_EQ(o.ExcludeFolders, std::vector<std::string>{""}); }},
        {"ExcludeFolders=C:\\A, B=\t\"D:\\\"\"q\"\"=\"\tE:\\=x\t",
         [](auto& o) {
             EXPECT_EQ(o.ExcludeFolders,
                       (std::vector<std::string>{"C:\\A, B=", "D:\\\"q\"=", "E:\\=x", ""}));
         }},
        {"ExcludeFolders=\"unclosed\tstill one", [](auto& o) {
             EXPECT_EQ(o.ExcludeFolders, std::vector<std::string>{"unclosed\tstill one"});
         }}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        c.check(LoadFrom("[GENERAL]\r\n" + c.line + "\r\n"));
    }
}

TEST_F(OptionsStorage, FolderListsRoundTrip) {
    struct Case {
        std::vector<std::string> entries;
        std::string stored;
    };
    const std::vector<Case> cases = {
        {{"C:\\One=", "C:\\Two Words=", "C:\\Three="}, "C:\\One=\tC:\\Two Words=\tC:\\Three="},
        {{"C:\\Say \"hi\"="}, "\"C:\\Say \"\"hi\"\"=\""},
        {{"C:\\Tab\there="}, "\"C:\\Tab\there=\""},
        {{""}, "\"\""},
        {{}, ""},
        {{"a=", ""}, "a=\t"},
        {{"", "b="}, "\tb="},
        {{"%windir%=", "%windir%="}, "%windir%=\t%windir%="},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(JoinFolderList(c.entries), c.stored);
        TBrimbleOptions options = Defaults();
        options.ExcludeFolders = c.entries;
        ASSERT_TRUE(SaveOptionsToFile(sim, kIni, options));
        EXPECT_NE(sim.Content(kIni).find("\r\nExcludeFolders=" + c.stored + "\r\n"),
                  std::string::npos);
        EXPECT_EQ(Load().ExcludeFolders, c.entries);
    }
}

// The kinds of line end in Text: "\r\n", "\n" or a lone "\r".
std::set<std::string> LineEndsOf(const std::string& text) {
    std::set<std::string> ends;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ends.insert(text.substr(i++, 2));
        else if (text[i] == '\r' || text[i] == '\n')
            ends.insert(text.substr(i, 1));
    }
    return ends;
}

// Text with every "\n" turned into End.
std::string WithLineEnds(const std::string& text, const std::string& end) {
    std::string result;
    for (const char c : text)
        result += c == '\n' ? end : std::string(1, c);
    return result;
}

TEST_F(OptionsStorage, SaveReplacesKeyLinesAndKeepsEverythingElseInTheFilesLineEnds) {
    for (const std::string end : {"\n", "\r", "\r\n"}) {
        SCOPED_TRACE(testing::PrintToString(end));
        sim.RemoveFile(kIni);
        sim.AddFileWithContent(kIni, WithLineEnds("; my settings\n"
                                                  "IdleTime=4\n"
                                                  "[Other]\n"
                                                  "Priority=1\n"
                                                  "[general]\n"
                                                  "  priority = 5\n"
                                                  "Unknown=keep me\n"
                                                  "PRIORITY=6\n"
                                                  "\n"
                                                  "[GENERAL]\n"
                                                  "Priority=7\n"
                                                  "[Last]\n"
                                                  "x=y",
                                                  end));
        TBrimbleOptions options = Load();
        // Names match without regard to case; the first section and key of a name count,
        // and a key before any section belongs to none.
        EXPECT_EQ(options.Priority, 5);
        EXPECT_EQ(options.IdleTime, 1);
        options.Priority = 2;
        ASSERT_TRUE(SaveOptionsToFile(sim, kIni, options));

        const std::string text = sim.Content(kIni);
        EXPECT_TRUE(text.starts_with(WithLineEnds("; my settings\nIdleTime=4\n[Other]\n"
                                                  "Priority=1\n[general]\nPriority=2\n"
                                                  "Unknown=keep me\nPRIORITY=6\n"
                                                  "SmartCompressMode=0\nAutostart=0\n",
                                                  end)))
            << text;
        EXPECT_TRUE(text.ends_with(WithLineEnds("BeepOnComplete=1\n\n[GENERAL]\nPriority=7\n"
                                                "[Last]\nx=y",
                                                end)))
            << text;
        EXPECT_EQ(LineEndsOf(text), std::set<std::string>{end});
        EXPECT_EQ(Load().Priority, 2);
    }
}

// Loading and saving the same values again changes no byte of the file, whatever it holds
// besides the settings.
TEST_F(OptionsStorage, SavingTheLoadedValuesLeavesTheFileAsItWas) {
    TBrimbleOptions options = Defaults();
    options.Language = "Français";
    ASSERT_TRUE(SaveOptionsToFile(sim, kIni, options));
    const std::string settings = sim.Content(kIni);
    const std::string junk = Bytes("; caf\xE9 \x01\0\xFF\r\n[Other]\r\n k = v \r\n\r\n");
    struct Case {
        std::string name;
        std::string content;
    };
    const std::vector<Case> cases = {
        {"junk around", junk + settings + "[Tail]\r\nx=y"},
        {"UTF-8 mark and ill-formed bytes", "\xEF\xBB\xBF" + junk + settings},
        {"LF", EraseAll(junk + settings, '\r')},
        {"CR", EraseAll(junk + settings, '\n')},
        {"UTF-16 LE", EncodeText("; café\r\n" + settings, TTextEncoding::Utf16Le)},
        {"UTF-16 BE", EncodeText(settings + "[Tail]", TTextEncoding::Utf16Be)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim.RemoveFile(kIni);
        sim.AddFileWithContent(kIni, c.content);
        ASSERT_TRUE(SaveOptionsToFile(sim, kIni, Load()));
        EXPECT_EQ(sim.Content(kIni), c.content);
    }
}

TEST_F(OptionsStorage, ASectionIsAddedToAFileWithoutOne) {
    sim.AddFileWithContent(kIni, "[Other]\r\nk=v");
    ASSERT_TRUE(SaveOptionsToFile(sim, kIni, Defaults()));
    EXPECT_TRUE(sim.Content(kIni).starts_with("[Other]\r\nk=v\r\n\r\n[GENERAL]\r\n"
                                              "SmartCompressMode=0\r\n"));
    ExpectSameOptions(Load(), Defaults());
}

// Files edited by hand or damaged: the load never fails, and a save after it keeps the
// file readable with the values saved.
TEST_F(OptionsStorage, DamagedFilesLoadAndSaveSoundly) {
    struct Case {
        std::string name;
        std::string content;
        int idleTime; // what the load gives
    };
    const std::string u16le = Bytes("\xFF\xFE[\0G\0E\0N\0E\0R\0A\0L\0]\0\r\0\n\0I\0d\0l\0e\0T\0i"
                                    "\0m\0e\0=\0"
                                    "9\0\r\0\n\0");
    const std::string u16be = Bytes("\xFE\xFF\0[\0G\0E\0N\0E\0R\0A\0L\0]\0\n\0I\0d\0l\0e\0T\0i\0m"
                                    "\0e\0=\0"
                                    "4");
    const std::vector<Case> cases = {
        {"garbage", Bytes("\x01\x02\xFF\xFE[=]\r\n==\n[\n]]]\n\xC3("), 1},
        {"no section", "IdleTime=5\r\n", 1},
        {"duplicate keys", "[GENERAL]\r\nIdleTime=5\r\nIdleTime=6\r\n", 5},
        {"duplicate sections", "[GENERAL]\r\nIdleTime=5\r\n[GENERAL]\r\nIdleTime=6\r\n", 5},
        {"NUL bytes", Bytes("[GENERAL]\r\nId\0leTime=3\r\nIdleTime=4\0\r\nIdleTime=8\r\n"), 1},
        {"CR line ends", "[GENERAL]\rSmartCompressMode=1\rIdleTime=6\r", 6},
        {"UTF-8 BOM", "\xEF\xBB\xBF[GENERAL]\r\nIdleTime=7\r\n", 7},
        {"UTF-16 LE", u16le, 9},
        {"UTF-16 BE without last line end", u16be, 4},
        {"only a BOM", "\xEF\xBB\xBF", 1},
        {"comment", "[GENERAL]\r\n;IdleTime=5\r\n", 1},
        {"a huge section", "[GENERAL]\n" + Repeated("junk line\n", 50'000) + "IdleTime=3\n", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim.RemoveFile(kIni);
        TBrimbleOptions options = LoadFrom(c.content);
        EXPECT_EQ(options.IdleTime, c.idleTime);
        options.IdleTime = 12;
        options.Language = "Français";
        ASSERT_TRUE(SaveOptionsToFile(sim, kIni, options));
        const TBrimbleOptions again = Load();
        EXPECT_EQ(again.IdleTime, 12);
        EXPECT_EQ(again.Language, "Français");
    }
}

TEST_F(OptionsStorage, AFileKeepsItsByteOrderMark) {
    sim.AddFileWithContent(kIni, "\xEF\xBB\xBF[GENERAL]\r\n");
    ASSERT_TRUE(SaveOptionsToFile(sim, kIni, Defaults()));
    EXPECT_TRUE(sim.Content(kIni).starts_with("\xEF\xBB\xBF[GENERAL]\r\nSmartCompressMode=0"));

    sim.RemoveFile(kIni);
    sim.AddFileWithContent(kIni, Bytes("\xFF\xFE[\0G\0E\0N\0E\0R\0A\0L\0]\0"));
    TBrimbleOptions options = Defaults();
    options.Language = "Ελληνικά";
    ASSERT_TRUE(SaveOptionsToFile(sim, kIni, options));
    const std::string text = sim.Content(kIni);
    EXPECT_TRUE(text.starts_with(std::string("\xFF\xFE[\0G\0", 6)));
    EXPECT_NE(text.find(std::string("=\0\x95\x03", 4)), std::string::npos); // Ε is U+0395
    EXPECT_EQ(Load().Language, "Ελληνικά");
}

TEST_F(OptionsStorage, LongValuesAreKeptWhole) {
    TBrimbleOptions options = Defaults();
    options.FilterIncluding = Repeated("abcdefg,", 1 << 17); // 1 MB
    options.FilterExcluding = std::string(2048, 'b');
    options.ExcludeFolders.clear();
    for (int i = 0; i < 2000; ++i)
        options.ExcludeFolders.push_back("C:\\Folder " + std::to_string(i) +
                                         (i % 100 == 0 ? "\t\"quoted\"=" : "="));
    ASSERT_TRUE(SaveOptionsToFile(sim, kIni, options));
    ExpectSameOptions(Load(), options);
}

// A line end inside a value would start a key or section of its own in the file.
TEST_F(OptionsStorage, AValueCannotInjectLines) {
    TBrimbleOptions options = Defaults();
    options.Language = "x\r\nPriority=6\n[GENERAL]";
    options.ExcludeFolders = {"C:\\a\nBeepOnComplete=0="};
    ASSERT_TRUE(SaveOptionsToFile(sim, kIni, options));
    const TBrimbleOptions loaded = Load();
    EXPECT_EQ(loaded.Priority, 3);
    EXPECT_TRUE(loaded.BeepOnComplete);
    EXPECT_EQ(loaded.Language, "x  Priority=6 [GENERAL]");
    EXPECT_EQ(loaded.ExcludeFolders, std::vector<std::string>{"C:\\a BeepOnComplete=0="});
}

TEST_F(OptionsStorage, AFailedSaveReportsItAndKeepsTheOldFile) {
    sim.AddFileWithContent(kIni, "[GENERAL]\r\nIdleTime=5\r\n");
    sim.SetReadOnlyFolder(kDir, true);
    TBrimbleOptions options = Defaults();
    options.IdleTime = 9;
    const OsResult refused = SaveOptionsToFile(sim, kIni, options);
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.code(), sim::err::AccessDenied); // the reason goes to the log
    EXPECT_EQ(sim.Content(kIni), "[GENERAL]\r\nIdleTime=5\r\n");
    EXPECT_FALSE(SaveOptionsToFile(sim, "C:\\Missing\\Brimble.ini", options));
    sim.SetReadOnlyFolder(kDir, false);

    // Writing over a file that could not be read would lose its other lines.
    sim.SetReadRefused(kIni, true);
    EXPECT_FALSE(SaveOptionsToFile(sim, kIni, options));
    sim.SetReadRefused(kIni, false);
    EXPECT_EQ(sim.Content(kIni), "[GENERAL]\r\nIdleTime=5\r\n");

    sim.SetDiskFull("C:\\", true);
    EXPECT_FALSE(SaveOptionsToFile(sim, kIni, options));
    EXPECT_EQ(sim.Content(kIni), "[GENERAL]\r\nIdleTime=5\r\n");
}

// The headless command beside the program reads the program's own settings file.
TEST_F(OptionsStorage, ACompanionProgramUsesTheSettingsOfTheProgramItNames) {
    sim.SetLocalAppDataDir("C:\\Users\\u\\AppData\\Local");
    sim.AddFile("C:\\Tools\\brimble-scan.exe", 1000);
    sim.SetProgramPath("C:\\Tools\\brimble-scan.exe");
    EXPECT_EQ(ComputeProgramFolders(sim).IniFileName, kDir + "\\brimble-scan.ini");

    TProgramFolders folders = ComputeProgramFolders(sim, "Brimble");
    EXPECT_EQ(folders.IniFileName, kIni);
    EXPECT_EQ(folders.ProgramName, "Brimble");
    sim.AddFileWithContent("C:\\Tools\\Brimble.ini", "[GENERAL]\r\n");
    folders = ComputeProgramFolders(sim, "Brimble");
    EXPECT_EQ(folders.IniFileName, "C:\\Tools\\Brimble.ini");
    EXPECT_EQ(folders.UserDataDir, kDir);
}

TEST(StoredInteger, ReadsDecimalAndHexadecimalWithinTheKeysWidth) {
    struct Case {
        const char* text;
        bool wide;
        std::optional<int64_t> value;
    };
    const Case cases[] = {
        {"2147483647", false, 2147483647},
        {"2147483648", false, std::nullopt},
        {"-2147483648", false, -2147483648LL},
        {"+12", false, 12},
        {"-$10", false, -16},
        {"0x00000000000000001", false, 1},
        {"0x100000000", false, std::nullopt},
        {"9223372036854775807", true, INT64_MAX},
        {"-9223372036854775808", true, INT64_MIN},
        {"9223372036854775808", true, std::nullopt},
        {"0xFFFFFFFFFFFFFFFF", true, -1},
        {"1 2", false, std::nullopt},
        {"-", false, std::nullopt},
        {"$", false, std::nullopt},
        {"0x-1", false, std::nullopt},
        {"\t 8\t", false, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseStoredInteger(c.text, c.wide), c.value);
    }
}

} // namespace
} // namespace brimble
