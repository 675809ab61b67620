#include "base/VisibleText.h"

#include <gtest/gtest.h>
#include <string>

namespace brimble {
namespace {

TEST(VisibleText, ControlsAndBrokenUtf8AreShownEscapedAndEverythingElseStays) {
    struct Case {
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"plain name.txt", "plain name.txt"},
        {"caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80",
         "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80"},
        {"a\x1b[31mred", "a\\x1b[31mred"},
        {"two\nlines\r\tend", "two\\nlines\\r\\tend"},
        {std::string("nul\0del\x7f", 8), "nul\\x00del\\x7f"},
        {"c1\xc2\x9b"
         "6n and nbsp\xc2\xa0",
         "c1\\xc2\\x9b6n and nbsp\xc2\xa0"},
        {"bad\xff\xfe", "bad\\xff\\xfe"},
        {"cut\xe6\x97", "cut\\xe6\\x97"},           // a sequence cut short
        {"overlong\xc0\xaf", "overlong\\xc0\\xaf"}, // '/' spelt in two bytes
        {"surrogate\xed\xa0\x80", "surrogate\\xed\\xa0\\x80"},
        {"back\\slash\\x1b", "back\\\\slash\\\\x1b"}, // a literal "\x1b" stays told apart
    };
    for (const Case& c : cases)
        EXPECT_EQ(VisibleText(c.text), c.shown) << c.shown;
}

TEST(VisibleText, TheLogKeepsAMessagesOwnLinesAndItsBackslashes) {
    const TVisibleTextRules log{.EscapeBackslash = false, .KeepLineBreaks = true};
    EXPECT_EQ(VisibleText("first\r\nsecond\x1b", log), "first\r\nsecond\\x1b");
    EXPECT_EQ(VisibleText("C:\\Data\\a.txt", log), "C:\\Data\\a.txt");
}

} // namespace
} // namespace brimble
