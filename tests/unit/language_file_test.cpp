#include "base/TextCase.h"
#include "options/LanguageFile.h"
#include "platform/sim/SimPlatform.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace brimble {
namespace {

const std::string kLangDir = "C:\\Tools\\Languages\\";

TEST(MessageTexts, EnglishDefaultsAndSetByNameWithoutCase) {
    TMessageTexts texts;
    EXPECT_EQ(texts.CannotSaveOptions, "Cannot save options!");
    EXPECT_EQ(TMessageTexts::Names().front(), "SendErrorLog");
    EXPECT_EQ(TMessageTexts::Names().back(), "ScanInProgress");
    for (std::string_view name : TMessageTexts::Names())
        EXPECT_NE(texts.Find(name), nullptr);

    EXPECT_TRUE(texts.Set("scaninprogress", "busy"));
    EXPECT_EQ(texts.ScanInProgress, "busy");
    EXPECT_FALSE(texts.Set("NoSuchText", "x"));
    EXPECT_EQ(texts.Find("NoSuchText"), nullptr);
}

TEST(LanguageFileReader, FindsWindowsDepthFirstFromTheRootWithoutCase) {
    // The first match in document order wins, also when it is the root or nested deep.
    const auto file = ParseLanguageFile(R"(<FRMOPTIONS Caption="root">
        <x><frmAboutBox Caption="first"/></x>
        <frmaboutbox Caption="second"/>
        <frmOptions Caption="inner"/>
    </FRMOPTIONS>)");
    ASSERT_TRUE(file);
    ASSERT_NE(file->Window("frmOptions"), nullptr);
    EXPECT_EQ(*file->Window("frmOptions")->Attribute("caption"), "root");
    EXPECT_EQ(*file->Window("frmAboutBox")->Attribute("Caption"), "first");
    EXPECT_EQ(file->Window("frmBrimblemain"), nullptr);
    EXPECT_EQ(file->Window("frmErrorReport"), nullptr);
}

TEST(LanguageFileReader, ComponentsListsCollectionsAndObjects) {
    const auto file = ParseLanguageFile(R"(<lang><frmOptions Caption="Optionen">
        <lblIdle Caption="a\nb\nc" Hint="h">
            <Font Name="Arial" Size="9"/>
        </lblIdle>
        <cbxPriority>
            <Items>
                <Item Index="0" Value="Leerlauf"/>
                <Item Index="-1" Value="negative"/>
                <Item Index="x" Value="no number"/>
                <Item Index="2"/>
                <Whatever Index="6" Value="Echtzeit"/>
            </Items>
        </cbxPriority>
        <rgrpMode><Items>
            <![CDATA[Aus
Im Leerlauf]]></Items></rgrpMode>
        <StatusBar><Panels><Panel Index="1" Text="T"><Font Size="7"/></Panel><Panel Text="none"/></Panels></StatusBar>
    </frmOptions></lang>)");
    ASSERT_TRUE(file);
    const TLanguageNode* window = file->Window("frmOptions");
    ASSERT_NE(window, nullptr);

    const TLanguageNode* label = window->Child("LBLIDLE");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(*label->Attribute("Caption"), "a\r\nb\r\nc");
    EXPECT_EQ(*label->Child("font")->Attribute("Size"), "9");

    const std::vector<std::pair<int, std::string>> expected = {{0, "Leerlauf"}, {6, "Echtzeit"}};
    EXPECT_EQ(window->Child("cbxPriority")->Child("Items")->ListEntries(), expected);

    const TLanguageNode* radioItems = window->Child("rgrpMode")->Child("Items");
    ASSERT_TRUE(radioItems->ListText);
    EXPECT_EQ(*radioItems->ListText, "Aus\nIm Leerlauf");

    const auto panels = window->Child("StatusBar")->Child("Panels")->CollectionItems();
    ASSERT_EQ(panels.size(), 1u);
    EXPECT_EQ(panels[0].first, 1);
    EXPECT_EQ(*panels[0].second->Attribute("Text"), "T");
    EXPECT_EQ(*panels[0].second->Child("Font")->Attribute("Size"), "7");
}

TEST(LanguageFileReader, VariablesSetKnownMessageTextsOnly) {
    const auto file = ParseLanguageFile(R"(<frmOptions>
        <variables>
            <Var Name="cannotsaveoptions" Value="Kann nicht\nspeichern"/>
            <Other Name="Unknown" Value="ignored"/>
            <Var Name="IncorrectPath"/>
        </variables>
    </frmOptions>)");
    ASSERT_TRUE(file);
    TMessageTexts texts;
    ApplyLanguageVariables(*file, texts);
    EXPECT_EQ(texts.CannotSaveOptions, "Kann nicht\r\nspeichern");
    EXPECT_EQ(texts.IncorrectPath, TMessageTexts().IncorrectPath);

    // Variables outside the options dialog are no message texts.
    const auto elsewhere = ParseLanguageFile(
        R"(<r><frmAboutBox><Variables><V Name="ScanInProgress" Value="x"/></Variables></frmAboutBox></r>)");
    ASSERT_TRUE(elsewhere);
    EXPECT_TRUE(elsewhere->Variables.empty());
}

TEST(LanguageFileReader, BadInputIsRejectedOrSkippedWithoutCrash) {
    EXPECT_FALSE(ParseLanguageFile(""));
    EXPECT_FALSE(ParseLanguageFile("not xml at all"));
    EXPECT_FALSE(ParseLanguageFile(R"(<lang><frmOptions Caption="x"><lbl)"));
    EXPECT_FALSE(ParseLanguageFile(std::string("<a>\0\xff</b>", 10)));

    // Far deeper than any stack allows for recursion; the window sits at the bottom.
    const int depth = 100000;
    std::string deep;
    for (int i = 0; i < depth; ++i)
        deep += "<d>";
    deep += R"(<frmErrorReport Caption="deep">)";
    for (int i = 0; i < depth; ++i)
        deep += "<c>";
    for (int i = 0; i < depth; ++i)
        deep += "</c>";
    deep += "</frmErrorReport>";
    for (int i = 0; i < depth; ++i)
        deep += "</d>";
    const auto file = ParseLanguageFile(deep);
    ASSERT_TRUE(file);
    const TLanguageNode* window = file->Window("frmErrorReport");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(*window->Attribute("Caption"), "deep");
    int levels = 0;
    for (const TLanguageNode* node = window; !node->Children.empty(); node = &node->Children[0])
        ++levels;
    EXPECT_EQ(levels, kMaxLanguageNesting);
}

class LanguageFolder : public ::testing::Test {
protected:
    void SetUp() override {
        sim.AddVolume("C:\\", DriveType::Fixed);
        sim.AddDirectory("C:\\Tools\\Languages");
    }
    sim::SimPlatform sim;
};

TEST_F(LanguageFolder, DisplayNamesFromTheFilesPresent) {
    struct Case {
        std::vector<std::string> Files;
        std::vector<std::string> Names;
    };
    const std::vector<Case> cases = {
        {{}, {"English (default)"}},
        {{"german.xml", "ENGLISH.XML"}, {"German", "English"}},
        {{"dEUTSCH.Xml", "readme.txt", "x.xmlx"}, {"English (default)", "Deutsch"}},
        {{"1st.xml"}, {"English (default)", "1st"}},
    };
    for (const Case& c : cases) {
        sim::SimPlatform folder;
        folder.AddVolume("C:\\", DriveType::Fixed);
        folder.AddDirectory("C:\\Tools\\Languages");
        folder.AddDirectory("C:\\Tools\\Languages\\Sub.xml");
        for (const std::string& name : c.Files)
            folder.AddFileWithContent(kLangDir + name, "<x/>");
        std::vector<std::string> names = ListLanguages(folder, kLangDir);
        if (c.Names.front() == kDefaultLanguage) {
            EXPECT_EQ(names.front(), kDefaultLanguage);
        }
        // The rest comes in the file system's listing order.
        std::vector<std::string> expected = c.Names;
        std::sort(names.begin(), names.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names, expected) << c.Files.size();
    }
    EXPECT_EQ(ListLanguages(sim, "C:\\Missing\\"), std::vector<std::string>{"English (default)"});
}

TEST_F(LanguageFolder, FileNameMatchesWithoutCase) {
    sim.AddFileWithContent(kLangDir + "deutsch.XML", "<x/>");
    EXPECT_TRUE(SameText(LanguageFileName(sim, kLangDir, "Deutsch"), kLangDir + "deutsch.XML"));
    EXPECT_EQ(LanguageFileName(sim, kLangDir, "English (default)"),
              kLangDir + "English (default).xml");
    EXPECT_FALSE(ReadLanguageFile(sim, LanguageFileName(sim, kLangDir, "English (default)")));
    EXPECT_FALSE(ReadLanguageFile(sim, LanguageFileName(sim, kLangDir, "")));
}

TEST_F(LanguageFolder, OversizedFileIsNotRead) {
    sim.AddFile(kLangDir + "Huge.xml", kMaxLanguageFileSize + 1);
    EXPECT_FALSE(ReadLanguageFile(sim, kLangDir + "Huge.xml"));
}

std::string ShippedFile(const std::string& name) {
    std::ifstream in(std::string(BRIMBLE_LANGUAGE_DIR) + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ShippedLanguageFiles, TranslateEveryWindowAndEveryMessage) {
    for (const std::string name : {"English.xml", "Deutsch.xml"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(LanguageDisplayName(name), name.substr(0, name.size() - 4));
        const auto file = ParseLanguageFile(ShippedFile(name));
        ASSERT_TRUE(file);
        for (std::string_view window : kLanguageWindows) {
            ASSERT_NE(file->Window(window), nullptr) << window;
            EXPECT_NE(file->Window(window)->Attribute("Caption"), nullptr) << window;
        }
        TMessageTexts texts;
        ApplyLanguageVariables(*file, texts);
        const TMessageTexts english;
        for (std::string_view text : TMessageTexts::Names()) {
            const bool translated = *texts.Find(text) != *english.Find(text);
            EXPECT_EQ(translated, name == "Deutsch.xml") << text;
        }
    }
}

} // namespace
} // namespace brimble
