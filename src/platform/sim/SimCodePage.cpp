// The sim's 8-bit code page: Windows-1252. Bytes below 0x80 and from 0xA0 are the
// characters of the same number; 0x80-0x9F hold typographic characters, and the five
// bytes the code page leaves undefined map to the control characters of their number, as
// Windows maps them.

#include "platform/sim/SimPlatform.h"

#include <array>
#include <optional>

namespace brimble::sim {

namespace {

constexpr std::array<char16_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

char32_t CharOfByte(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return HighControls[byte - 0x80];
    return byte;
}

// The byte of a character; nothing when the code page has none.
std::optional<char> ByteOfChar(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (std::size_t i = 0; i < HighControls.size(); ++i)
        if (HighControls[i] == c) return static_cast<char>(0x80 + i);
    return std::nullopt;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The character at the start of Text and its length in bytes; nothing (length 1) for a
// byte that does not start a well-formed sequence.
std::optional<char32_t> NextUtf8(std::string_view text, std::size_t& length) {
    const auto lead = static_cast<unsigned char>(text[0]);
    length = 1;
    if (lead < 0x80) return lead;
    std::size_t count = 0;
    char32_t c = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 4;
        c = lead & 0x07;
    } else {
        return std::nullopt;
    }
    if (text.size() < count) return std::nullopt;
    for (std::size_t i = 1; i < count; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (next & 0x3F);
    }
    const bool overlong = (count == 3 && c < 0x800) || (count == 4 && c < 0x10000);
    if (overlong || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return std::nullopt;
    length = count;
    return c;
}

} // namespace

std::string SimPlatform::ToAnsi(std::string_view utf8, bool* lossless) {
    std::string bytes;
    bytes.reserve(utf8.size());
    bool exact = true;
    while (!utf8.empty()) {
        std::size_t length = 1;
        const std::optional<char32_t> c = NextUtf8(utf8, length);
        const std::optional<char> byte = c ? ByteOfChar(*c) : std::nullopt;
        bytes.push_back(byte.value_or('?'));
        exact = exact && byte.has_value();
        utf8.remove_prefix(length);
    }
    if (lossless) *lossless = exact;
    return bytes;
}

std::string SimPlatform::FromAnsi(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (char byte : bytes)
        AppendUtf8(text, CharOfByte(static_cast<unsigned char>(byte)));
    return text;
}

} // namespace brimble::sim
