#include "base/TextCase.h"

#include <gtest/gtest.h>
#include <string>
#include <string_view>

namespace brimble {
namespace {

struct TextPair {
    std::string_view a;
    std::string_view b;
    bool same;
};

class SameTextCases : public ::testing::TestWithParam<TextPair> {};

TEST_P(SameTextCases, FoldsLettersOfEachScriptAndNothingElse) {
    const TextPair& c = GetParam();
    EXPECT_EQ(SameText(c.a, c.b), c.same) << c.a << " vs " << c.b;
    EXPECT_EQ(SameText(c.b, c.a), c.same) << "not symmetric: " << c.a << " vs " << c.b;
    EXPECT_EQ(CompareText(c.a, c.b) == 0, c.same) << c.a << " vs " << c.b;
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, SameTextCases,
    ::testing::Values(
        TextPair{"", "", true}, TextPair{"NTLDR", "ntldr", true}, TextPair{"a", "", false},
        TextPair{"abc", "abd", false}, TextPair{"ab", "abc", false},
        // Characters between the two ASCII letter ranges do not fold.
        TextPair{"[", "{", false}, TextPair{"@", "`", false},
        // Latin-1 Supplement, but not the multiplication and division signs.
        TextPair{"ÄRGER.TXT", "ärger.txt", true}, TextPair{"ÀÉÎÕÜÝÞ", "àéîõüýþ", true},
        TextPair{"×", "÷", false}, TextPair{"ÿ", "Ÿ", true},
        // Latin Extended-A, both pairings of capital and small letter.
        TextPair{"ŁÓDŹ", "łódź", true}, TextPair{"ČEŠKÝ", "češký", true}, TextPair{"Ĺ", "ĺ", true},
        TextPair{"Ŋ", "ŋ", true},
        // Greek, with final sigma, accents and the micro sign.
        TextPair{"ΑΒΓΔΩ", "αβγδω", true}, TextPair{"ΟΔΟ\u03A3", "οδο\u03C3", true},
        TextPair{"ΟΔΟ\u03A3", "οδο\u03C2", true}, TextPair{"Ά", "ά", true},
        TextPair{"\u00B5", "\u039C", true},
        // Cyrillic, with Ё, the Ukrainian letters and the extended block.
        TextPair{"ПРИВЕТ", "привет", true}, TextPair{"ЁЖИК", "ёжик", true},
        TextPair{"ЇЖАК", "їжак", true}, TextPair{"Ҝ", "ҝ", true}, TextPair{"Ӂ", "ӂ", true},
        // Letters that look alike across scripts stay apart.
        TextPair{"A", "А", false}, TextPair{"P", "р", false},
        // Bytes that are not UTF-8 compare as themselves, and never as the letter their
        // value names in Latin-1.
        TextPair{"\xC4", "\xC4", true}, TextPair{"\xC4", "\xE4", false},
        TextPair{"\xC4", "Ä", false}, TextPair{"a\xFF", "A\xFF", true},
        TextPair{"\xC3", "\xC3\x84", false}, TextPair{"\xE2\x82", "\xE2\x82\xAC", false},
        TextPair{"\xC0\xAF", "/", false}, TextPair{"\xED\xA0\x80", "\xED\xA0\x80", true}));

TEST(StartsWithText, MatchesThePrefixOverItsWholeLengthOnly) {
    EXPECT_TRUE(StartsWithText("C:\\Windows\\System32\\", "c:\\windows\\"));
    EXPECT_TRUE(StartsWithText("C:\\Windows\\", "C:\\WINDOWS\\"));
    EXPECT_FALSE(StartsWithText("C:\\WindowsApps\\", "C:\\Windows\\"));
    EXPECT_FALSE(StartsWithText("C:\\", "C:\\Windows\\"));
    EXPECT_TRUE(StartsWithText("anything", ""));
    EXPECT_TRUE(StartsWithText("D:\\ДОКУМЕНТЫ\\Отчёт\\", "d:\\документы\\"));
    // A prefix that ends inside a character of the text does not match it.
    EXPECT_FALSE(StartsWithText("\xC3\x84", "\xC3"));
    // A truncated sequence at the very end is read byte by byte, never beyond.
    const std::string buffer = "ab\xE2\x82\xAC";
    EXPECT_FALSE(StartsWithText(std::string_view(buffer).substr(0, 4), "AB\xE2\x82\xAC"));
    EXPECT_TRUE(StartsWithText(std::string_view(buffer).substr(0, 4), "AB\xE2"));
}

TEST(CompareText, OrdersIgnoringCaseAsTheListsAreSorted) {
    EXPECT_LT(CompareText("BOOTMGR", "ntldr"), 0);
    EXPECT_GT(CompareText("ntldr", "BOOTMGR"), 0);
    EXPECT_LT(CompareText("abc", "ABCD"), 0);
    EXPECT_GT(CompareText("b", "ABCD"), 0);
    // Punctuation below the small letters sorts before every letter, whatever its case.
    EXPECT_LT(CompareText("_x", "a"), 0);
    EXPECT_LT(CompareText("_x", "A"), 0);
    EXPECT_LT(CompareText("Zebra", "ärger"), 0);
    EXPECT_LT(CompareText("ärger", "привет"), 0);
    EXPECT_EQ(CompareText("C:\\Data\\ÄRGER.txt=1", "c:\\data\\ärger.TXT=1"), 0);
    // Invalid bytes sort after every character and are ordered by their value.
    EXPECT_LT(CompareText("\xF0\x9F\x98\x80", "\xFF"), 0);
    EXPECT_LT(CompareText("\xC4", "\xFF"), 0);
}

TEST(AsciiUpper, RaisesOnlyAsciiLetters) {
    EXPECT_EQ(AsciiUpper("abc-XYZ_09"), "ABC-XYZ_09");
    EXPECT_EQ(AsciiUpper("äöü\xFF"), "äöü\xFF");
    EXPECT_EQ(AsciiUpper(""), "");
}

} // namespace
} // namespace brimble
