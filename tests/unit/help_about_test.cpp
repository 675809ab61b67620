// Which page a help request opens, where the help pages are found, and the about box's
// texts and error test, on the sim.

#include "engine/AboutTexts.h"
#include "engine/HelpTopics.h"
#include "options/ProgramFolders.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace brimble {
namespace {

constexpr const char* kHelp = "C:\\Program Files\\Brimble\\help\\";

struct HelpTopicsTest : ::testing::Test {
    HelpTopicsTest() { sim.AddVolume("C:\\", DriveType::Fixed); }
    sim::SimPlatform sim;
};

TEST_F(HelpTopicsTest, ATopicOpensItsPageInTheHelpFolder) {
    for (const char* page : {"compress.htm", "about.htm", "license.htm", "options_Main.htm",
                             "options_Compress.htm", "options_Filtering.htm", "extra.html"})
        sim.AddFileWithContent(std::string(kHelp) + page, "<html></html>");
    const HtmlHelpViewer help(sim.FileSystem(), kHelp);
    const struct {
        std::string topic;
        std::optional<std::string> page;
    } cases[] = {
        {"compress", std::string(kHelp) + "compress.htm"},
        {"options_Filtering", std::string(kHelp) + "options_Filtering.htm"},
        // A topic that names its page already is taken as it is.
        {"extra.html", std::string(kHelp) + "extra.html"},
        {"about.HTM", std::string(kHelp) + "about.HTM"},
        // No page of that name, or a name that leaves the folder.
        {"options_", std::nullopt},
        {"", std::nullopt},
        {"..\\Brimble.exe", std::nullopt},
        {"C:\\Windows\\about", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(help.TopicPage(c.topic), c.page) << c.topic;
}

TEST_F(HelpTopicsTest, WithoutTheHelpFolderNothingOpens) {
    EXPECT_EQ(HtmlHelpViewer(sim.FileSystem(), kHelp).TopicPage("about"), std::nullopt);
    EXPECT_EQ(HtmlHelpViewer(sim.FileSystem(), "").TopicPage("about"), std::nullopt);
}

TEST(F1HelpTopic, IsThatOfTheActiveWindow) {
    EXPECT_EQ(F1HelpTopic(ViewWindow::Main, {}), "compress");
    EXPECT_EQ(F1HelpTopic(ViewWindow::Options, "tsCompress"), "options_Compress");
    EXPECT_EQ(F1HelpTopic(ViewWindow::About, {}), "about");
    EXPECT_EQ(F1HelpTopic(ViewWindow::ErrorReport, {}), std::nullopt);
}

TEST_F(HelpTopicsTest, TheHelpFolderIsFoundAsTheLanguageFolderIs) {
    sim.SetLocalAppDataDir("C:\\Users\\u\\AppData\\Local");
    // Installed: no folder beside the program in bin, the one in share/brimble.
    sim.SetProgramPath("C:\\usr\\bin\\brimble");
    sim.AddDirectory("C:\\usr\\share\\brimble\\help");
    EXPECT_EQ(ComputeProgramFolders(sim).HelpDir, "C:\\usr\\share\\brimble\\help\\");
    // A folder beside the program wins; with none at all the one beside it is named.
    sim.AddDirectory("C:\\usr\\bin\\help");
    EXPECT_EQ(ComputeProgramFolders(sim).HelpDir, "C:\\usr\\bin\\help\\");
    sim.SetProgramPath("C:\\Tools\\Brimble.exe");
    EXPECT_EQ(ComputeProgramFolders(sim).HelpDir, "C:\\Tools\\help\\");
}

TEST(AboutBoxTexts, ShowTheProgramsVersionAndLinks) {
    sim::SimPlatform sim;
    sim.SetFileVersion(sim.ProgramPath(), FileVersion{1, 0, 3, 378});
    const TAboutTexts texts = AboutBoxTexts(sim);
    EXPECT_EQ(texts.ProductName, "Brimble");
    EXPECT_EQ(texts.Version, "Version 1.0.3 build 378");
    EXPECT_EQ(texts.WebText, "brimble.example.org");
    EXPECT_EQ(texts.MailAddress, "mailto:support@brimble.example.org");
    EXPECT_EQ(texts.MailText, "support@brimble.example.org");
    EXPECT_FALSE(texts.Copyright.empty());
    EXPECT_NE(texts.Freeware.find("freeware"), std::string::npos);

    sim.SetFileVersion(sim.ProgramPath(), std::nullopt);
    EXPECT_EQ(AboutBoxTexts(sim).Version, "");
}

TEST(AboutBoxErrorTest, OnlyCtrlWithTheRightButtonRaisesARealError) {
    EXPECT_TRUE(IsErrorTestPress(true, true));
    EXPECT_FALSE(IsErrorTestPress(true, false));
    EXPECT_FALSE(IsErrorTestPress(false, true));
    EXPECT_THROW(
        {
            try {
                RaiseErrorTest();
            } catch (const std::domain_error& error) {
                EXPECT_STREQ(error.what(), "Division by zero");
                throw;
            }
        },
        std::domain_error);
}

} // namespace
} // namespace brimble
