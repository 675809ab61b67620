// The bytes of a list file and the stamps of its entries.

#include "engine/ListFileFormat.h"
#include "platform/sim/SimPlatform.h"

#include <cctype>
#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace brimble {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

const std::string Bad = "\xEF\xBF\xBD"; // U+FFFD

// The locale of a system whose 8-bit code page is UTF-8 (Linux): the interface's default.
class Utf8Locale : public ILocale {
public:
    std::string ThousandSeparator() override { return ","; }
    std::string DecimalSeparator() override { return "."; }
    std::string FormatShortDate(const DateParts&) override { return {}; }
    std::string FormatLongTime(const DateParts&) override { return {}; }
};

bool IsValidUtf8WithoutNul(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        if (lead == 0) return false;
        std::size_t n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (lead >= 0x80 && lead < 0xC2) return false;
        if (i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

// A test name from a case's description.
template <class Case> std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
    std::string name;
    for (char c : std::string(param.param.what))
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

struct DecodeCase {
    const char* what;
    std::string bytes;
    Lines lines;
};

class DecodeListFileTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeListFileTest, GivesTheLines) {
    sim::SimPlatform sim; // Windows-1252
    EXPECT_EQ(DecodeListFile(GetParam().bytes, sim), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeListFileTest,
    ::testing::Values(
        DecodeCase{"empty file", "", {}}, DecodeCase{"CR LF", "a\r\nb\r\n", {"a", "b"}},
        DecodeCase{"lone CR", "a\rb\r", {"a", "b"}},
        DecodeCase{"lone LF, no final line end", "a\nb", {"a", "b"}},
        DecodeCase{"empty lines are entries", "a\r\n\r\nb\n\rc", {"a", "", "b", "", "c"}},
        DecodeCase{"CR before CR LF", "a\r\r\nb", {"a", "", "b"}},
        DecodeCase{"one line end only", "\r\n", {""}},
        DecodeCase{"code page", "\xC4rger\x80.txt\r\n", {"\xC3\x84rger\xE2\x82\xAC.txt"}},
        DecodeCase{"undefined code page byte", "\x81", {"\xC2\x81"}},
        DecodeCase{"NUL byte", "C:\\a\0b=1\r\n"s, {"C:\\a" + Bad + "b=1"}},
        DecodeCase{"UTF-8 BOM", "\xEF\xBB\xBF\xD0\x9E\r\nx", {"\xD0\x9E", "x"}},
        DecodeCase{"UTF-8 BOM only", "\xEF\xBB\xBF", {}},
        DecodeCase{"UTF-8 BOM, code page text", "\xEF\xBB\xBF\xC4rger", {Bad + "rger"}},
        DecodeCase{"UTF-8 BOM, truncated sequence",
                   "\xEF\xBB\xBF"
                   "a\xE2\x82",
                   {"a" + Bad + Bad}},
        DecodeCase{"UTF-8 BOM, overlong and surrogate",
                   "\xEF\xBB\xBF\xC0\xAF\xED\xA0\x80",
                   {Bad + Bad + Bad + Bad + Bad}},
        DecodeCase{"UTF-8 BOM, NUL",
                   "\xEF\xBB\xBF"
                   "a\0"s,
                   {"a" + Bad}},
        DecodeCase{"UTF-16 LE",
                   "\xFF\xFE"
                   "A\0\r\0\n\0\xC4\0"s,
                   {"A", "\xC3\x84"}},
        DecodeCase{"UTF-16 BE, surrogate pair",
                   "\xFE\xFF\0A\0\n\xD8\x3D\xDE\x00"s,
                   {"A", "\xF0\x9F\x98\x80"}},
        DecodeCase{"UTF-16 odd byte count",
                   "\xFF\xFE"
                   "A\0B"s,
                   {"A" + Bad}},
        DecodeCase{"UTF-16 lone surrogates",
                   "\xFF\xFE\x3D\xD8"
                   "A\0\x00\xDC"s,
                   {Bad + "A" + Bad}},
        DecodeCase{"UTF-16 NUL", "\xFF\xFE\0\0"s, {Bad}},
        DecodeCase{"UTF-32 LE read as UTF-16 LE",
                   "\xFF\xFE\0\0"
                   "A\0\0\0"s,
                   {Bad + "A" + Bad}}),
    CaseName<DecodeCase>);

TEST(ListFileFormat, CodePageBytesPassWhereTheCodePageIsUtf8) {
    // A Linux file name need not be valid UTF-8; it must still name its file.
    Utf8Locale utf8;
    EXPECT_EQ(DecodeListFile("/data/\xFF.bin=1\n", utf8), Lines{"/data/\xFF.bin=1"});
    EXPECT_EQ(EncodeListFile({"/data/\xD0\x9E", "/data/\xFF"}, utf8).Bytes,
              "/data/\xD0\x9E\r\n/data/\xFF\r\n");
}

TEST(ListFileFormat, FirstNameThatBeginsLikeAByteOrderMarkIsKept) {
    Utf8Locale utf8;
    // A name starting with U+FEFF reads back whole; a name of bytes that are no UTF-8 and
    // look like the UTF-16 mark loses those bytes, but the file is not read as UTF-16.
    const Lines withMark = {"\xEF\xBB\xBFname", "other"};
    EXPECT_EQ(DecodeListFile(EncodeListFile(withMark, utf8).Bytes, utf8), withMark);
    EXPECT_EQ(DecodeListFile(EncodeListFile({"\xFF\xFEname", "other"}, utf8).Bytes, utf8),
              (Lines{Bad + Bad + "name", "other"}));
}

TEST(ListFileFormat, AnyBytesDecodeToValidTextWithoutNul) {
    sim::SimPlatform sim;
    std::mt19937 random(12345);
    const std::string prefixes[] = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
    for (int round = 0; round < 2000; ++round) {
        std::string bytes = prefixes[round % 4];
        const int length = static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i)
            bytes.push_back(static_cast<char>(random() % 256));
        for (const std::string& line : DecodeListFile(bytes, sim)) {
            EXPECT_TRUE(IsValidUtf8WithoutNul(line)) << "round " << round;
            EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
        }
    }
}

TEST(ListFileFormat, HugeLineIsOneEntry) {
    sim::SimPlatform sim;
    const std::string huge(1 << 20, 'x');
    const Lines lines = DecodeListFile(huge + "\r\nshort", sim);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), huge.size());
    EXPECT_EQ(lines[1], "short");
}

struct EncodeCase {
    const char* what;
    Lines entries;
    std::string bytes;
};

class EncodeListFileTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeListFileTest, WritesTheBytesAndReadsBack) {
    sim::SimPlatform sim;
    const EncodedListFile file = EncodeListFile(GetParam().entries, sim);
    EXPECT_EQ(file.Bytes, GetParam().bytes);
    EXPECT_TRUE(file.Skipped.empty());
    EXPECT_EQ(DecodeListFile(file.Bytes, sim), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodeListFileTest,
    ::testing::Values(
        EncodeCase{"no entries", {}, ""},
        EncodeCase{"CR LF after every line", {"BOOTMGR", "NTLDR"}, "BOOTMGR\r\nNTLDR\r\n"},
        EncodeCase{"empty entry", {"", "a"}, "\r\na\r\n"},
        EncodeCase{"code page, no BOM",
                   {"\xC3\x84rger\xE2\x82\xAC.txt=46027"},
                   "\xC4rger\x80.txt=46027\r\n"},
        // One name the code page cannot hold turns the whole file into UTF-8.
        EncodeCase{"UTF-8 with BOM when the code page is short",
                   {"\xC3\x84.txt", "\xD0\x9E\xD1\x82.doc", "\xF0\x9F\x98\x80"},
                   "\xEF\xBB\xBF\xC3\x84.txt\r\n\xD0\x9E\xD1\x82.doc\r\n\xF0\x9F\x98\x80\r\n"},
        // In the code page "\xEF\xBB\xBF" would start the file and be read as the UTF-8 mark.
        EncodeCase{"UTF-8 with BOM when the code page bytes begin like one",
                   {"\xC3\xAF\xC2\xBB\xC2\xBFx", "y"},
                   "\xEF\xBB\xBF\xC3\xAF\xC2\xBB\xC2\xBFx\r\ny\r\n"}),
    CaseName<EncodeCase>);

TEST(ListFileFormat, EntryWithALineBreakIsLeftOut) {
    sim::SimPlatform sim;
    const EncodedListFile file = EncodeListFile({"a", "b\nc", "d\re"}, sim);
    EXPECT_EQ(file.Bytes, "a\r\n");
    EXPECT_EQ(file.Skipped, (Lines{"b\nc", "d\re"}));
}

TEST(ListFileFormat, Stamps) {
    EXPECT_EQ(FormatDayStamp("C:\\a.txt", 2), "C:\\a.txt=2");
    EXPECT_EQ(FormatDayStamp("x", -3), "x=-3");
    EXPECT_EQ(FormatDateTimeStamp("C:\\a.txt", 2.25, "."), "C:\\a.txt=2.250000");
    EXPECT_EQ(FormatDateTimeStamp("x", 46027.5000004, ","), "x=46027,500000");
    EXPECT_EQ(FormatDateTimeStamp("x", 46027.1234567, "."), "x=46027.123457");
    EXPECT_EQ(FormatDateTimeStamp("x", -0.25, "."), "x=-0.250000");
}

TEST(ListFileFormat, DayStampsReadAsInt32OrZero) {
    const std::pair<const char*, int32_t> cases[] = {
        {"46027", 46027},
        {"-3", -3},
        {"+7", 7},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"2147483648", 0},
        {"", 0},
        {"abc", 0},
        {"12x", 0},
        {"1.5", 0},
        {" 5", 0},
        {"+-5", 0},
    };
    for (const auto& [text, day] : cases)
        EXPECT_EQ(ReadDayStamp(text), day) << text;
}

TEST(ListFileFormat, DateTimeStampsReadWithTheLocalesSeparator) {
    struct Case {
        const char* text;
        const char* separator;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"2.250000", ".", 2.25}, {"2,250000", ",", 2.25}, {"46027", ",", 46027.0},
        {" 2.5 ", ".", 2.5},     {"+1.5", ".", 1.5},      {"-0.25", ".", -0.25},
        {"2.250000", ",", {}},   {"2,250000", ".", {}},   {"", ".", {}},
        {"abc", ".", {}},        {"1.2.3", ".", {}},      {"nan", ".", {}},
        {"inf", ".", {}},        {"1e400", ".", {}},      {"2.5", "", 2.5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadDateTimeStamp(c.text, c.separator), c.value)
            << c.text << " with " << c.separator;
}

} // namespace
} // namespace brimble
