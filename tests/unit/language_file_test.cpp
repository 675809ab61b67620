#include "base/TextCase.h"
#include "options/LanguageFile.h"
#include "platform/sim/SimPlatform.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace brimble {
namespace {

const std::string kLangDir = "C:\\Tools\\Languages\\";
const char* const kNoXmlReader = "this build cannot read language files";

std::string ShippedFile(const std::string& name) {
    std::ifstream in(std::string(BRIMBLE_LANGUAGE_DIR) + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The tests that read XML text; a build without an XML reader skips them.
class LanguageFileReader : public ::testing::Test {
protected:
    void SetUp() override {
        if (!LanguageFilesReadable()) GTEST_SKIP() << kNoXmlReader;
    }
};

TEST(MessageTexts, EnglishDefaultsAndSetByNameWithoutCase) {
    TMessageTexts texts;
    EXPECT_EQ(texts.CannotSaveOptions, "Cannot save options!");
    EXPECT_EQ(TMessageTexts::Names().front(), "SendErrorLog");
    EXPECT_EQ(TMessageTexts::Names()[8], "ScanInProgress"); // the last of the nine described
    EXPECT_EQ(TMessageTexts::Names().back(), "CannotEstimate");
    for (std::string_view name : TMessageTexts::Names())
        EXPECT_NE(texts.Find(name), nullptr);

    EXPECT_TRUE(texts.Set("scaninprogress", "busy"));
    EXPECT_EQ(texts.ScanInProgress, "busy");
    EXPECT_FALSE(texts.Set("NoSuchText", "x"));
    EXPECT_EQ(texts.Find("NoSuchText"), nullptr);
}

TEST_F(LanguageFileReader, FindsWindowsDepthFirstFromTheRootWithoutCase) {
    // The first match in document order wins, also when it is the root or nested deep.
    const auto file = ParseLanguageFile(R"(<FRMOPTIONS Caption="root">
        <x><frmAboutBox Caption="first"/></x>
        <frmaboutbox Caption="second"/>
        <frmOptions Caption="inner"/>
        <frmNoSuchWindow Caption="unknown"/>
    </FRMOPTIONS>)");
    ASSERT_TRUE(file);
    ASSERT_NE(file->Window("frmOptions"), nullptr);
    EXPECT_EQ(*file->Window("frmOptions")->Attribute("caption"), "root");
    EXPECT_EQ(*file->Window("frmAboutBox")->Attribute("Caption"), "first");
    EXPECT_EQ(file->Window("frmBrimblemain"), nullptr);
    EXPECT_EQ(file->Window("frmErrorReport"), nullptr);
    EXPECT_EQ(file->Windows.size(), 2u);
}

TEST_F(LanguageFileReader, ComponentsListsCollectionsAndObjects) {
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
        <cbxLate><Items><Item Index="0" Value="a"/><![CDATA[late]]></Items></cbxLate>
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
    // Behind an entry, a CDATA section replaces nothing.
    EXPECT_FALSE(window->Child("cbxLate")->Child("Items")->ListText);

    const auto panels = window->Child("StatusBar")->Child("Panels")->CollectionItems();
    ASSERT_EQ(panels.size(), 1u);
    EXPECT_EQ(panels[0].first, 1);
    EXPECT_EQ(*panels[0].second->Attribute("Text"), "T");
    EXPECT_EQ(*panels[0].second->Child("Font")->Attribute("Size"), "7");
}

TEST_F(LanguageFileReader, VariablesSetKnownMessageTextsOnly) {
    const auto file = ParseLanguageFile(R"(<frmOptions>
        <variables>
            <Var Name="cannotsaveoptions" Value="Kann nicht\nspeichern"/>
            <Other Name="Unknown" Value="ignored"/>
            <Var Name="IncorrectPath"/>
            <Var Value="no name"/>
            <Var name="ScanInProgress" VALUE="Läuft schon"/>
        </variables>
    </frmOptions>)");
    ASSERT_TRUE(file);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"cannotsaveoptions", "Kann nicht\r\nspeichern"},
        {"Unknown", "ignored"},
        {"ScanInProgress", "Läuft schon"}};
    EXPECT_EQ(file->Variables, expected);
    TMessageTexts texts;
    ApplyLanguageVariables(*file, texts);
    EXPECT_EQ(texts.CannotSaveOptions, "Kann nicht\r\nspeichern");
    EXPECT_EQ(texts.ScanInProgress, "Läuft schon");
    EXPECT_EQ(texts.IncorrectPath, TMessageTexts().IncorrectPath);

    // Variables outside the options dialog are no message texts.
    const auto elsewhere = ParseLanguageFile(
        R"(<r><frmAboutBox><Variables><V Name="ScanInProgress" Value="x"/></Variables></frmAboutBox></r>)");
    ASSERT_TRUE(elsewhere);
    EXPECT_TRUE(elsewhere->Variables.empty());
}

TEST_F(LanguageFileReader, TextThatIsNoWellFormedXmlIsRefused) {
    const std::string english = ShippedFile("English.xml");
    ASSERT_FALSE(english.empty());
    const std::vector<std::string> cases = {
        "",
        "not xml at all",
        R"(<?xml version="1.0" encoding="UTF-8"?>)",
        R"(<lang><frmOptions Caption="x"><lbl)",
        R"(<frmOptions Caption="x)",
        "<frmOptions></frmAboutBox>",
        std::string("<a>\0\xff</b>", 10),
        english.substr(0, english.size() / 2),
        english.substr(0, english.find("</Language>") + 5),
    };
    for (const std::string& text : cases)
        EXPECT_FALSE(ParseLanguageFile(text)) << text.substr(0, 60);
}

TEST_F(LanguageFileReader, NestingFarDeeperThanAnyStackIsWalkedWithoutRecursion) {
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

TEST_F(LanguageFileReader, BackslashNInAValueBecomesCrLf) {
    struct Case {
        std::string Written;
        std::string Read;
    };
    const std::vector<Case> cases = {
        {R"(\n)", "\r\n"},
        {R"(line\n\nafter a gap)", "line\r\n\r\nafter a gap"},
        {R"(ends in \)", R"(ends in \)"},
        {R"(\N and \t stay)", R"(\N and \t stay)"},
    };
    for (const Case& c : cases) {
        const auto file = ParseLanguageFile("<frmAboutBox Caption=\"" + c.Written + "\"/>");
        ASSERT_TRUE(file) << c.Written;
        EXPECT_EQ(*file->Window("frmAboutBox")->Attribute("Caption"), c.Read) << c.Written;
    }
}

TEST_F(LanguageFileReader, TextIsReadAsUtf8WhateverTheFileIsWrittenIn) {
    const std::string utf8 = "\u00dcber";
    const std::string latin1 = std::string(1, '\xdc') + "ber";
    const auto aboutBox = [](const std::string& caption) {
        return "<frmAboutBox Caption=\"" + caption + "\"/>";
    };
    const std::u16string text = u"<frmAboutBox Caption=\"\u00dcber\"/>";
    std::string utf16le = "\xff\xfe";
    std::string utf16be = "\xfe\xff";
    for (char16_t unit : text) {
        const char low = static_cast<char>(unit & 0xff);
        const char high = static_cast<char>(unit >> 8);
        utf16le += {low, high};
        utf16be += {high, low};
    }
    const std::vector<std::string> cases = {
        utf16le,
        utf16be,
        "\xef\xbb\xbf" + aboutBox(utf8),
        R"(<?xml version="1.0" encoding="ISO-8859-1"?>)" + aboutBox(latin1),
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto file = ParseLanguageFile(cases[i]);
        ASSERT_TRUE(file) << i;
        ASSERT_NE(file->Window("frmAboutBox"), nullptr) << i;
        EXPECT_EQ(*file->Window("frmAboutBox")->Attribute("Caption"), utf8) << i;
    }
}

TEST(LanguageFileBuild, ReadsXmlExactlyWhenItHasAnXmlReader) {
    EXPECT_EQ(ParseLanguageFile(R"(<frmAboutBox Caption="x"/>)").has_value(),
              LanguageFilesReadable());
}

TEST(LanguageNode, IndexIsAWholeNumberFromZero) {
    struct Case {
        std::string Index;
        std::optional<int> Read;
    };
    const std::vector<Case> cases = {
        {"0", 0},
        {"12", 12},
        {"2147483647", 2147483647},
        {"-1", {}},
        {"x", {}},
        {"", {}},
        {"1.5", {}},
        {"3x", {}},
        {"99999999999999999999", {}},
        {"-2147483649", {}},
        {"0x10", {}},
    };
    for (const Case& c : cases) {
        TLanguageNode entry;
        entry.Name = "Item";
        entry.Attributes = {{"index", c.Index}, {"Value", "v"}};
        TLanguageNode list;
        list.Children = {entry};
        const auto entries = list.ListEntries();
        const auto items = list.CollectionItems();
        if (c.Read) {
            EXPECT_EQ(entries, (std::vector<std::pair<int, std::string>>{{*c.Read, "v"}}))
                << c.Index;
            ASSERT_EQ(items.size(), 1u) << c.Index;
            EXPECT_EQ(items[0].first, *c.Read);
        } else {
            EXPECT_TRUE(entries.empty()) << c.Index;
            EXPECT_TRUE(items.empty()) << c.Index;
        }
    }
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

TEST_F(LanguageFolder, FileOfTheLargestSizeIsReadOneByteMoreIsNot) {
    if (!LanguageFilesReadable()) GTEST_SKIP() << kNoXmlReader;
    const std::string head = R"(<frmAboutBox Caption="big"><!--)";
    const std::string tail = "--></frmAboutBox>";
    const std::string largest =
        head + std::string(kMaxLanguageFileSize - head.size() - tail.size(), ' ') + tail;
    sim.AddFileWithContent(kLangDir + "Largest.xml", largest);
    sim.AddFileWithContent(kLangDir + "Larger.xml", largest + "\n");

    const auto file = ReadLanguageFile(sim, kLangDir + "Largest.xml");
    ASSERT_TRUE(file);
    EXPECT_NE(file->Window("frmAboutBox"), nullptr);
    EXPECT_FALSE(ReadLanguageFile(sim, kLangDir + "Larger.xml"));
}

using ShippedLanguageFiles = LanguageFileReader;

TEST_F(ShippedLanguageFiles, TranslateEveryWindowAndEveryMessage) {
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
            const bool named =
                std::any_of(file->Variables.begin(), file->Variables.end(),
                            [&](const auto& variable) { return SameText(variable.first, text); });
            EXPECT_TRUE(named) << text;
            const bool translated = *texts.Find(text) != *english.Find(text);
            EXPECT_EQ(translated, name == "Deutsch.xml") << text;
        }
    }
}

// Every element, attribute, list entry and list text of a file, by its place.
std::set<std::string> TextPlaces(const TLanguageNode& node, const std::string& parent) {
    std::string place = parent + "/" + AsciiUpper(node.Name);
    if (const std::string* index = node.Attribute("Index")) place += "[" + *index + "]";
    std::set<std::string> places = {place};
    for (const auto& [attribute, value] : node.Attributes)
        places.insert(place + "@" + AsciiUpper(attribute));
    if (node.ListText) places.insert(place + "#text");
    for (const TLanguageNode& child : node.Children)
        places.merge(TextPlaces(child, place));
    return places;
}

TEST_F(ShippedLanguageFiles, TheTranslationHasEveryTextOfTheTemplate) {
    const auto english = ParseLanguageFile(ShippedFile("English.xml"));
    const auto german = ParseLanguageFile(ShippedFile("Deutsch.xml"));
    ASSERT_TRUE(english && german);
    for (std::string_view window : kLanguageWindows)
        EXPECT_EQ(TextPlaces(*german->Window(window), ""), TextPlaces(*english->Window(window), ""))
            << window;
}

} // namespace
} // namespace brimble
