#include "platform/sim/SimPlatform.h"
#include "threads/uCommonFunctions.h"

#include <gtest/gtest.h>

namespace brimble {
namespace {

using Args = std::vector<std::string>;

std::string Shown(const std::string& value) {
    return value == SwitchAbsent ? "<absent>" : value;
}

TEST(GetSwitchValue, FollowsTheSwitchRules) {
    struct Case {
        Args args;
        std::string name;
        bool caseSensitive;
        std::string expected;
    } const cases[] = {
        {{}, "d", false, SwitchAbsent},
        {{"-d"}, "d", false, "def"},
        {{"/d"}, "d", false, "def"},
        {{"-D"}, "d", false, "def"},
        {{"-D"}, "d", true, SwitchAbsent},
        {{"-d:2"}, "d", false, "2"},
        {{"/D=2"}, "d", false, "2"},
        {{"-d:a:b"}, "d", false, "a:b"},
        {{"-d:"}, "d", false, ""}, // an empty value is a value, not the absent marker
        // The bare switch ends the search; a later value replaces an earlier one.
        {{"-d:1", "-d"}, "d", false, "def"},
        {{"-d", "-d:5"}, "d", false, "def"},
        {{"-d:1", "/d=7"}, "d", false, "7"},
        {{"x", "-d:3", "y"}, "d", false, "3"},
        // Arguments that only look like the switch.
        {{"-dx"}, "d", false, SwitchAbsent},
        {{"-debug"}, "d", false, SwitchAbsent},
        {{"--d"}, "d", false, SwitchAbsent},
        {{"d"}, "d", false, SwitchAbsent},
        {{"-"}, "d", false, SwitchAbsent},
        {{"+d"}, "d", false, SwitchAbsent},
        {{""}, "d", false, SwitchAbsent},
        {{"-d;2"}, "d", false, SwitchAbsent},
        // Longer names; only ASCII letters fold.
        {{"-LANG=de"}, "lang", false, "de"},
        {{"-lan"}, "lang", false, SwitchAbsent},
        {{"-\xc3\xa4"}, "\xc3\x84", false, SwitchAbsent},
    };
    for (const auto& c : cases) {
        std::string trace = c.name + (c.caseSensitive ? " (case) :" : " :");
        for (const auto& a : c.args)
            trace += " [" + a + "]";
        SCOPED_TRACE(trace);
        EXPECT_EQ(Shown(GetSwitchValue(c.args, c.name, "def", c.caseSensitive)), Shown(c.expected));
    }
}

TEST(LogLevelFromCommandLine, ReadsTheDSwitch) {
    struct Case {
        Args args;
        int expected;
    } const cases[] = {
        {{}, 0},
        {{"-debug"}, 0},
        {{"-d"}, 1},
        {{"/D"}, 1},
        {{"-D:2"}, 2},
        {{"/d=2"}, 2},
        {{"-d:0"}, 0},
        {{"-d:-2"}, -2},
        {{"-d:+3"}, 3},
        {{"-d:x"}, 1},
        {{"-d:"}, 1},
        {{"-d:2x"}, 1},
        {{"-d: 2"}, 1},
        {{"-d:+-2"}, 1},
        {{"-d:-"}, 1},
        {{"-d:99999999999"}, 1},
        {{"-d:2", "-d"}, 1},
        {{"-d:2", "-d=0"}, 0},
    };
    for (const auto& c : cases) {
        std::string trace;
        for (const auto& a : c.args)
            trace += " [" + a + "]";
        SCOPED_TRACE(trace);
        EXPECT_EQ(LogLevelFromCommandLine(c.args), c.expected);
    }
}

class CommonFunctions : public ::testing::Test {
protected:
    void SetUp() override {
        sim.AddVolume("C:\\", DriveType::Fixed);
        sim.AddFile(program, 1000);
        sim.SetFileVersion(program, FileVersion{1, 0, 3, 378});
    }
    sim::SimPlatform sim;
    const std::string program = "C:\\Program Files\\Brimble\\Brimble.exe";
};

TEST_F(CommonFunctions, VersionStringReplacesEachPlaceholderWithCase) {
    const std::pair<std::string, std::string> cases[] = {
        {"%M.%m.%r build %b", "1.0.3 build 378"},
        {"Version %M.%m.%r build %b", "Version 1.0.3 build 378"},
        {"\r\nBrimble v.%M.%m.%r build %b", "\r\nBrimble v.1.0.3 build 378"},
        {"no placeholders", "no placeholders"},
        {"", ""},
        {"%M%M %b%b", "11 378378"},
        {"%B %R %x %% %", "%B %R %x %% %"},
        {"%%m", "%0"},
    };
    for (const auto& [format, expected] : cases) {
        SCOPED_TRACE(format);
        EXPECT_EQ(GetFileVersionString(sim, program, format), expected);
    }
}

TEST_F(CommonFunctions, VersionNumbersAreDecimalWithoutLeadingZeros) {
    sim.SetFileVersion(program, FileVersion{65535, 10, 0, 7});
    EXPECT_EQ(GetFileVersionString(sim, program, "%M.%m.%r.%b"), "65535.10.0.7");
}

TEST_F(CommonFunctions, VersionStringOfAFileWithoutVersionIsEmpty) {
    sim.AddFile("C:\\plain.txt", 10);
    EXPECT_EQ(GetFileVersionString(sim, "C:\\plain.txt", "Version %M"), "");
    EXPECT_EQ(GetFileVersionString(sim, "C:\\missing.exe", "literal text"), "");
}

TEST_F(CommonFunctions, ExpandEnvVarTakesTheWholeTextAsOneReference) {
    sim.SetEnvironmentVariable("windir", std::string("C:\\Windows"));
    sim.SetEnvironmentVariable("padded", std::string(" \t C:\\Temp \r\n"));
    sim.SetEnvironmentVariable("empty", std::string(""));
    const std::pair<std::string, std::string> cases[] = {
        {"%windir%", "C:\\Windows"},
        {"$windir$", "C:\\Windows"}, // the first and last characters are dropped, whatever they are
        {"%padded%", "C:\\Temp"},
        {"%empty%", ""},
        {"%undefined%", ""},
        {"%windir%\\System32", ""},
        {"%", ""},
        {"%%", ""},
        {"", ""},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ExpandEnvVar(sim, text), expected);
    }
}

} // namespace
} // namespace brimble
