#include "base/TextCodec.h"

#include <array>

namespace brimble {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

constexpr bool Between(char32_t c, char32_t first, char32_t last) {
    return c >= first && c <= last;
}

constexpr bool IsSurrogate(char32_t c) {
    return Between(c, 0xD800, 0xDFFF);
}

// Length of the UTF-8 sequence a lead byte starts; 0 for a byte that starts none.
std::size_t SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (Between(lead, 0xC2, 0xDF)) return 2;
    if (Between(lead, 0xE0, 0xEF)) return 3;
    if (Between(lead, 0xF0, 0xF4)) return 4;
    return 0;
}

// --- UTF-16 ---

class TUtf16Reader {
public:
    TUtf16Reader(std::string_view bytes, bool bigEndian) : FBytes(bytes), FBigEndian(bigEndian) {}

    std::string ToUtf8() {
        std::string out;
        out.reserve(FBytes.size());
        while (FPos + 1 < FBytes.size()) {
            const char16_t unit = Unit(FPos);
            FPos += 2;
            if (Between(unit, 0xD800, 0xDBFF) && FPos + 1 < FBytes.size() &&
                Between(Unit(FPos), 0xDC00, 0xDFFF)) {
                const char16_t low = Unit(FPos);
                FPos += 2;
                AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                    (static_cast<char32_t>(low) - 0xDC00));
            } else {
                AppendUtf8(out, unit); // an unpaired surrogate appends U+FFFD
            }
        }
        if (FPos < FBytes.size()) AppendUtf8(out, kReplacementChar); // an odd byte at the end
        return out;
    }

private:
    char16_t Unit(std::size_t i) const {
        const auto first = static_cast<unsigned char>(FBytes[i]);
        const auto second = static_cast<unsigned char>(FBytes[i + 1]);
        return static_cast<char16_t>(FBigEndian ? (first << 8) | second : (second << 8) | first);
    }

    std::string_view FBytes;
    bool FBigEndian;
    std::size_t FPos = 0;
};

std::string Utf8ToUtf16(std::string_view text, bool bigEndian) {
    std::string out;
    out.reserve(text.size() * 2);
    const auto put = [&](char32_t unit) {
        const auto high = static_cast<char>((unit >> 8) & 0xFF);
        const auto low = static_cast<char>(unit & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    };
    for (std::size_t i = 0; i < text.size();) {
        const char32_t code = NextUtf8(text, i).value_or(kReplacementChar);
        if (code >= 0x10000) {
            put(0xD800 + ((code - 0x10000) >> 10));
            put(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            put(code);
        }
    }
    return out;
}

// --- Windows-1252 ---

// The characters of bytes 0x80-0x9F; every other byte is the character of its number.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

char32_t Windows1252Char(unsigned char byte) {
    if (Between(byte, 0x80, 0x9F)) return kWindows1252High[byte - 0x80];
    return byte;
}

// The byte of a character; nothing when the code page has none.
std::optional<char> Windows1252Byte(char32_t c) {
    if (c < 0x80 || Between(c, 0xA0, 0xFF)) return static_cast<char>(c);
    for (std::size_t i = 0; i < kWindows1252High.size(); ++i)
        if (kWindows1252High[i] == c) return static_cast<char>(0x80 + i);
    return std::nullopt;
}

} // namespace

std::optional<char32_t> NextUtf8(std::string_view text, std::size_t& pos) {
    static constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    const auto lead = static_cast<unsigned char>(text[pos]);
    const std::size_t length = SequenceLength(lead);
    if (length == 1) {
        ++pos;
        return lead;
    }
    if (length == 0 || text.size() - pos < length) {
        ++pos;
        return std::nullopt;
    }
    char32_t code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[pos + k]);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return std::nullopt;
        }
        code = (code << 6) | (next & 0x3F);
    }
    if (code < kShortest[length] || code > 0x10FFFF || IsSurrogate(code)) {
        ++pos;
        return std::nullopt;
    }
    pos += length;
    return code;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code > 0x10FFFF || IsSurrogate(code)) code = kReplacementChar;
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

std::string SanitizeUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        if (NextUtf8(text, i))
            out.append(text.substr(start, i - start));
        else
            AppendUtf8(out, kReplacementChar);
    }
    return out;
}

TTextEncoding EncodingOfBom(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Bom)) return TTextEncoding::Utf8;
    if (bytes.starts_with(kUtf16LeBom)) return TTextEncoding::Utf16Le;
    if (bytes.starts_with(kUtf16BeBom)) return TTextEncoding::Utf16Be;
    return TTextEncoding::CodePage;
}

std::string_view BomOf(TTextEncoding encoding) {
    switch (encoding) {
    case TTextEncoding::Utf8:
        return kUtf8Bom;
    case TTextEncoding::Utf16Le:
        return kUtf16LeBom;
    case TTextEncoding::Utf16Be:
        return kUtf16BeBom;
    case TTextEncoding::CodePage:
        break;
    }
    return {};
}

std::string DecodeText(std::string_view bytes, TTextEncoding encoding) {
    const std::string_view bom = BomOf(encoding);
    if (bytes.starts_with(bom)) bytes.remove_prefix(bom.size());
    switch (encoding) {
    case TTextEncoding::Utf8:
        return SanitizeUtf8(bytes);
    case TTextEncoding::Utf16Le:
        return TUtf16Reader(bytes, false).ToUtf8();
    case TTextEncoding::Utf16Be:
        return TUtf16Reader(bytes, true).ToUtf8();
    case TTextEncoding::CodePage:
        break;
    }
    return std::string(bytes);
}

std::string EncodeText(std::string_view text, TTextEncoding encoding) {
    std::string bytes(BomOf(encoding));
    switch (encoding) {
    case TTextEncoding::Utf8:
        return bytes + SanitizeUtf8(text);
    case TTextEncoding::Utf16Le:
        return bytes + Utf8ToUtf16(text, false);
    case TTextEncoding::Utf16Be:
        return bytes + Utf8ToUtf16(text, true);
    case TTextEncoding::CodePage:
        break;
    }
    return std::string(text);
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (const char byte : bytes)
        AppendUtf8(text, Windows1252Char(static_cast<unsigned char>(byte)));
    return text;
}

std::string Utf8ToWindows1252(std::string_view text, bool* lossless) {
    std::string bytes;
    bytes.reserve(text.size());
    bool exact = true;
    for (std::size_t i = 0; i < text.size();) {
        const std::optional<char32_t> c = NextUtf8(text, i);
        const std::optional<char> byte = c ? Windows1252Byte(*c) : std::nullopt;
        bytes.push_back(byte.value_or('?'));
        exact = exact && byte.has_value();
    }
    if (lossless) *lossless = exact;
    return bytes;
}

} // namespace brimble
