#include "base/VisibleText.h"

#include <cstddef>
#include <cstdint>

namespace brimble {

namespace {

void AppendHex(std::string& out, unsigned char byte) {
    constexpr char digits[] = "0123456789abcdef";
    out.append("\\x");
    out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 0x0f]);
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xc0) == 0x80;
}

// The length of the valid UTF-8 sequence at Pos (overlong forms, surrogates and values
// beyond U+10FFFF are not valid); 0 when the bytes there are not one.
std::size_t SequenceLength(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    uint32_t lowest = 0;
    uint32_t value = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        lowest = 0x80;
        value = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        lowest = 0x800;
        value = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        lowest = 0x10000;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuation(byte(i))) return 0;
        value = (value << 6) | (byte(i) & 0x3f);
    }
    if (value < lowest || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)) return 0;
    return length;
}

} // namespace

std::string VisibleText(std::string_view text, TVisibleTextRules rules) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const auto c = static_cast<unsigned char>(text[pos]);
        if (c < 0x80) {
            if (c == '\\' && rules.EscapeBackslash) {
                out.append("\\\\");
            } else if ((c == '\n' || c == '\r') && rules.KeepLineBreaks) {
                out.push_back(static_cast<char>(c));
            } else if (c == '\t') {
                out.append("\\t");
            } else if (c == '\n') {
                out.append("\\n");
            } else if (c == '\r') {
                out.append("\\r");
            } else if (c < 0x20 || c == 0x7f) {
                AppendHex(out, c);
            } else {
                out.push_back(static_cast<char>(c));
            }
            ++pos;
            continue;
        }
        const std::size_t length = SequenceLength(text, pos);
        // U+0080..U+009F: C2 80..C2 9F, controls that some terminals obey.
        const bool c1 =
            length == 2 && c == 0xc2 && static_cast<unsigned char>(text[pos + 1]) < 0xa0;
        if (length == 0 || c1) {
            const std::size_t shown = c1 ? 2 : 1;
            for (std::size_t i = 0; i < shown; ++i)
                AppendHex(out, static_cast<unsigned char>(text[pos + i]));
            pos += shown;
            continue;
        }
        out.append(text.substr(pos, length));
        pos += length;
    }
    return out;
}

} // namespace brimble
