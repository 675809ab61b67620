// The error report's text without a window: the stack lines, the log entry and the report
// line by line.

#include "engine/ErrorReportText.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

namespace brimble {
namespace {

TEST(FormatStackFrame, WritesTheLineOfWhatIsKnown) {
    TStackFrame full;
    full.Address = 0x55d0c0de1234;
    full.ModuleAddress = 0x1234;
    full.Unit = "AboutBox";
    full.Procedure = "brimble::TfrmAboutBox::lblProductNameMouseDown";
    full.Line = 61;
    full.SourceFile = "AboutBox.cpp";
    full.LinesFromProcedureStart = 3;
    full.ByteOffset = 0x1c;

    TStackFrame noFirstLine = full;
    noFirstLine.LinesFromProcedureStart.reset();
    TStackFrame before = noFirstLine;
    before.ByteOffset = -5;

    TStackFrame procedureOnly;
    procedureOnly.Address = 0x7f0012345678;
    procedureOnly.ModuleAddress = 0xabc;
    procedureOnly.Procedure = "QApplication::notify";
    procedureOnly.ByteOffset = 0x2f;

    TStackFrame nothing;
    nothing.Address = 0x1000;

    const struct {
        TStackFrame frame;
        std::string line;
    } cases[] = {
        {full, "(00001234) [55D0C0DE1234] AboutBox.brimble::TfrmAboutBox::lblProductNameMouseDown "
               "(Line 61, \"AboutBox.cpp\" + 3) + $1c"},
        {noFirstLine, "(00001234) [55D0C0DE1234] "
                      "AboutBox.brimble::TfrmAboutBox::lblProductNameMouseDown (Line 61, "
                      "\"AboutBox.cpp\") + $1c"},
        {before,
         "(00001234) [55D0C0DE1234] AboutBox.brimble::TfrmAboutBox::lblProductNameMouseDown "
         "(Line 61, \"AboutBox.cpp\") - $5"},
        {procedureOnly, "(00000ABC) [7F0012345678] QApplication::notify + $2f"},
        {nothing, "[00001000]"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatStackFrame(c.frame), c.line);
}

TEST(UnhandledErrorLogEntry, IsTheMessageThenOneLinePerFrame) {
    EXPECT_EQ(UnhandledErrorLogEntry("Division by zero\nsecond", {"[00001000]", "[00002000]"}),
              "Exception occured:\r\nDivision by zero\nsecond\r\n[00001000]\r\n[00002000]\r\n");
    EXPECT_EQ(UnhandledErrorLogEntry("x", {}), "Exception occured:\r\nx\r\n");
}

struct ErrorReportLinesTest : ::testing::Test {
    TErrorReportInput Input(const std::string& message) {
        TErrorReportInput input;
        input.VersionLine = "Brimble v.1.0.3 build 378";
        input.PlatformLine = "Linux version: 6.1.0";
        input.LogFileName = "C:\\Data\\Brimble.log";
        input.Message = message;
        input.StackLines = {"[00001000]", "[00002000]"};
        input.IniFileName = "C:\\Data\\Brimble.ini";
        return input;
    }
    sim::SimPlatform sim;
};

TEST_F(ErrorReportLinesTest, FollowTheDescribedOrder) {
    sim.AddVolume("C:\\", DriveType::Fixed);
    sim.AddFileWithContent("C:\\Data\\Brimble.ini", "[GENERAL]\r\nIdleTime=5\r\n");
    // A message with a line break spans two lines, then two empty lines before the stack.
    const std::vector<std::string> expected = {"",
                                               "Brimble v.1.0.3 build 378",
                                               "Linux version: 6.1.0",
                                               "",
                                               "C:\\Data\\Brimble.log",
                                               "",
                                               "first line",
                                               "second line",
                                               "",
                                               "",
                                               "[00001000]",
                                               "[00002000]",
                                               "",
                                               "C:\\Data\\Brimble.ini",
                                               "",
                                               "[GENERAL]",
                                               "IdleTime=5"};
    const std::vector<std::string> lines =
        ErrorReportLines(Input("first line\r\nsecond line"), sim.FileSystem());
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(ErrorReportText({"", "a", "b"}), "\na\nb\n");
}

TEST_F(ErrorReportLinesTest, NameASettingsFileThatCannotBeRead) {
    sim.AddVolume("C:\\", DriveType::Fixed);
    std::vector<std::string> lines = ErrorReportLines(Input("boom"), sim.FileSystem());
    EXPECT_EQ(lines.back(), "(no settings file: the defaults are in force)");

    sim.AddFileWithContent("C:\\Data\\Brimble.ini", "[GENERAL]\r\n");
    sim.SetReadRefused("C:\\Data\\Brimble.ini", true);
    lines = ErrorReportLines(Input("boom"), sim.FileSystem());
    EXPECT_EQ(lines.back().rfind("(the settings file cannot be read: ", 0), 0u) << lines.back();
    EXPECT_EQ(lines[lines.size() - 3], "C:\\Data\\Brimble.ini");
}

TEST(PlatformVersionLine, TakesThreeNumbersOfTheRelease) {
    const struct {
        std::string release, line;
    } cases[] = {
        {"6.1.0-18-amd64", "Linux version: 6.1.0"},
        {"6.12.38+deb13-amd64", "Linux version: 6.12.38"},
        {"5.15", "Linux version: 5.15.0"},
        {"", "Linux version: 0.0.0"},
        {"unknown", "Linux version: 0.0.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlatformVersionLine("Linux", c.release), c.line);
}

TEST(ErrorReportMailLink, EncodesOnlyTheClosingLineBreaks) {
    EXPECT_EQ(ErrorReportMailLink("Cannot send report. Paste it here."),
              std::string("mailto:") + kSupportMailbox +
                  "?subject=Error report&body=Cannot send report. Paste it here.%0D%0A%0D%0A");
}

} // namespace
} // namespace brimble
