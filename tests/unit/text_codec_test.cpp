#include "base/TextCodec.h"
#include "engine/ListFileFormat.h"
#include "options/OptionsStorage.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brimble {
namespace {

using namespace std::string_literals;

const std::string Bad = "\xEF\xBF\xBD"; // U+FFFD
// Stands for a byte that NextUtf8 rejects.
constexpr char32_t Rejected = 0xFFFFFFFF;

std::string Repeat(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out.append(text);
    return out;
}

std::u32string DecodeAll(std::string_view text) {
    std::u32string codes;
    for (std::size_t i = 0; i < text.size();)
        codes.push_back(NextUtf8(text, i).value_or(Rejected));
    return codes;
}

struct Utf8Case {
    const char* what;
    std::string bytes;
    std::u32string codes;
};

TEST(TextCodec, Utf8DecodesWellFormedAndRejectsEachIllFormedByte) {
    const char32_t R = Rejected;
    const Utf8Case cases[] = {
        {"ASCII and NUL", "a\0~"s, {U'a', 0, U'~'}},
        {"boundaries of the lengths",
         "\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
         {0x80, 0x7FF, 0x800, 0xFFFF, 0x10000, 0x10FFFF}},
        {"around the surrogates", "\xED\x9F\xBF\xEE\x80\x80", {0xD7FF, 0xE000}},
        {"overlong two bytes", "\xC0\xAF\xC1\xBF", {R, R, R, R}},
        {"overlong three bytes", "\xE0\x80\xAF\xE0\x9F\xBF", {R, R, R, R, R, R}},
        {"overlong four bytes", "\xF0\x8F\xBF\xBF", {R, R, R, R}},
        {"surrogates", "\xED\xA0\x80\xED\xBF\xBF", {R, R, R, R, R, R}},
        {"above U+10FFFF", "\xF4\x90\x80\x80\xF5\x80\x80\x80", {R, R, R, R, R, R, R, R}},
        {"bytes that start nothing", "\x80\xBF\xF8\xFE\xFF", {R, R, R, R, R}},
        {"truncated at the end", "a\xE2\x82", {U'a', R, R}},
        {"truncated four bytes", "\xF0\x9F\x98", {R, R, R}},
        {"interrupted by ASCII", "\xE2\x82x\xC3", {R, R, U'x', R}},
    };
    for (const Utf8Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DecodeAll(c.bytes), c.codes);
        // Sanitizing is the same rule: one U+FFFD per rejected byte, the rest unchanged.
        std::string expected;
        for (const char32_t code : c.codes)
            AppendUtf8(expected, code == Rejected ? kReplacementChar : code);
        EXPECT_EQ(SanitizeUtf8(c.bytes), expected);
    }
}

TEST(TextCodec, AppendUtf8WritesNoSurrogateAndNothingAboveTheLastCodePoint) {
    for (const char32_t code :
         {char32_t{0xD800}, char32_t{0xDFFF}, char32_t{0x110000}, char32_t{0xFFFFFFFF}}) {
        std::string out;
        AppendUtf8(out, code);
        EXPECT_EQ(out, Bad) << std::hex << static_cast<uint32_t>(code);
    }
}

TEST(TextCodec, ByteOrderMarks) {
    const std::pair<std::string, TTextEncoding> cases[] = {
        {"", TTextEncoding::CodePage},
        {"\xEF\xBB", TTextEncoding::CodePage},
        {"\xBB\xEF\xBF", TTextEncoding::CodePage},
        {"\xEF\xBB\xBF", TTextEncoding::Utf8},
        {"\xFF\xFE", TTextEncoding::Utf16Le},
        {"\xFF\xFE\0\0"s, TTextEncoding::Utf16Le}, // UTF-32 LE is not told apart
        {"\xFE\xFF", TTextEncoding::Utf16Be},
    };
    for (const auto& [bytes, encoding] : cases) {
        EXPECT_EQ(EncodingOfBom(bytes), encoding) << bytes;
        EXPECT_TRUE(bytes.starts_with(BomOf(encoding)));
    }
    EXPECT_EQ(BomOf(TTextEncoding::CodePage), "");
}

struct Utf16Case {
    const char* what;
    std::string bytes; // with its byte-order mark
    std::string text;
};

TEST(TextCodec, Utf16Decodes) {
    const Utf16Case cases[] = {
        {"LE",
         "\xFF\xFE"
         "A\0\xC4\0\xAC\x20"s,
         "A\xC3\x84\xE2\x82\xAC"},
        {"BE pair", "\xFE\xFF\xD8\x3D\xDE\x00"s, "\xF0\x9F\x98\x80"},
        {"LE pair", "\xFF\xFE\x3D\xD8\x00\xDE"s, "\xF0\x9F\x98\x80"},
        {"high surrogate at the end", "\xFE\xFF\0A\xD8\x3D"s, "A" + Bad},
        {"high surrogate before a letter", "\xFE\xFF\xD8\x3D\0A"s, Bad + "A"},
        {"two high surrogates, then a low", "\xFE\xFF\xD8\x3D\xD8\x3D\xDE\x00"s,
         Bad + "\xF0\x9F\x98\x80"},
        {"low before high", "\xFE\xFF\xDE\x00\xD8\x3D"s, Bad + Bad},
        {"odd byte at the end",
         "\xFF\xFE"
         "A\0B"s,
         "A" + Bad},
        {"only a mark", "\xFE\xFF", ""},
    };
    for (const Utf16Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DecodeText(c.bytes, EncodingOfBom(c.bytes)), c.text);
    }
}

TEST(TextCodec, EncodingWritesTheMarkAndIllFormedBytesAsReplacements) {
    const std::string pair = "\xF0\x9F\x98\x80";
    EXPECT_EQ(EncodeText("A" + pair, TTextEncoding::Utf16Le), "\xFF\xFE"s + "A\0\x3D\xD8\0\xDE"s);
    EXPECT_EQ(EncodeText("A" + pair, TTextEncoding::Utf16Be), "\xFE\xFF"s + "\0A\xD8\x3D\xDE\0"s);
    // An overlong '/' must not turn into a real one, nor a UTF-8 surrogate into a UTF-16 one.
    EXPECT_EQ(EncodeText("\xC0\xAF\xED\xA0\x80", TTextEncoding::Utf16Be),
              "\xFE\xFF" + Repeat("\xFF\xFD", 5));
    EXPECT_EQ(EncodeText("a\xC0\xAF", TTextEncoding::Utf8), "\xEF\xBB\xBF"s + "a" + Bad + Bad);
    // Without a mark, the bytes are the code page's: they pass untouched.
    EXPECT_EQ(EncodeText("\xC0\xAF", TTextEncoding::CodePage), "\xC0\xAF");
    EXPECT_EQ(DecodeText("\xC0\xAF", TTextEncoding::CodePage), "\xC0\xAF");
}

TEST(TextCodec, EveryEncodingRoundTrips) {
    const std::string wellFormed = "a\0\r\n\xC3\x84\xE2\x82\xAC\xEF\xBF\xBF\xF0\x9F\x98\x80"
                                   "\xF4\x8F\xBF\xBF"s;
    const std::string illFormed = "a\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xE2\x82";
    for (const TTextEncoding encoding :
         {TTextEncoding::Utf8, TTextEncoding::Utf16Le, TTextEncoding::Utf16Be}) {
        SCOPED_TRACE(static_cast<int>(encoding));
        EXPECT_EQ(DecodeText(EncodeText(wellFormed, encoding), encoding), wellFormed);
        EXPECT_EQ(DecodeText(EncodeText(illFormed, encoding), encoding), SanitizeUtf8(illFormed));
    }
}

// The settings and the list files read the same ill-formed bytes as the same text.
TEST(TextCodec, SettingsAndListFilesAgreeOnIllFormedText) {
    const std::string kIni = "C:\\Brimble\\Brimble.ini";
    const std::pair<TTextEncoding, std::string> bodies[] = {
        {TTextEncoding::Utf8, "x\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xE2\x82"},
        // A lone low surrogate, a high one without its pair and an odd byte at the end.
        {TTextEncoding::Utf16Le, "x\0\0\xDCy\0\x3D\xD8z"s},
    };
    for (const auto& [encoding, body] : bodies) {
        SCOPED_TRACE(static_cast<int>(encoding));
        sim::SimPlatform sim;
        sim.AddVolume("C:\\", DriveType::Fixed);
        sim.AddDirectory("C:\\Brimble");
        const std::vector<std::string> lines =
            DecodeListFile(std::string(BomOf(encoding)) + body, sim);
        ASSERT_EQ(lines.size(), 1u);

        sim.AddFileWithContent(kIni, EncodeText("[GENERAL]\r\nLanguage=", encoding) + body);
        TBrimbleOptions options;
        LoadOptionsFromFile(sim, kIni, options);
        EXPECT_EQ(options.Language, lines.front());

        // A save writes the same text back.
        ASSERT_TRUE(SaveOptionsToFile(sim, kIni, options));
        TBrimbleOptions again;
        LoadOptionsFromFile(sim, kIni, again);
        EXPECT_EQ(again.Language, lines.front());
    }
}

} // namespace
} // namespace brimble
