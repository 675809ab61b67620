#include "base/TextCase.h"

#include "base/TextCodec.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace brimble {

namespace {

// A byte that starts no valid UTF-8 sequence gets a key of its own above every code point,
// so it equals only the same byte.
constexpr char32_t kInvalidByteBase = 0x110000;

constexpr bool IsAsciiUpper(unsigned char c) {
    return static_cast<unsigned char>(c - 'A') < 26;
}

constexpr char32_t AsciiLower(unsigned char c) {
    return IsAsciiUpper(c) ? static_cast<char32_t>(c + 0x20) : c;
}

constexpr bool Between(char32_t c, char32_t first, char32_t last) {
    return c >= first && c <= last;
}

// Pairs of capital and small letter on neighbouring code points.
constexpr char32_t EvenIsCapital(char32_t c) {
    return c | 1;
}
constexpr char32_t OddIsCapital(char32_t c) {
    return (c & 1) ? c + 1 : c;
}

char32_t FoldLatin1(char32_t c) {
    if (Between(c, 0xC0, 0xDE) && c != 0xD7) return c + 0x20;
    if (c == 0xB5) return 0x3BC; // micro sign folds to small mu
    return c;
}

char32_t FoldLatinExtendedA(char32_t c) {
    // Dotted capital I and dotless small i have no one-to-one fold; kra and ŉ have no pair.
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149) return c;
    if (c == 0x178) return 0xFF;
    if (c == 0x17F) return 's'; // long s
    if (Between(c, 0x100, 0x137) || Between(c, 0x14A, 0x177)) return EvenIsCapital(c);
    if (Between(c, 0x139, 0x148) || Between(c, 0x179, 0x17E)) return OddIsCapital(c);
    return c;
}

char32_t FoldGreek(char32_t c) {
    if (Between(c, 0x391, 0x3A1) || Between(c, 0x3A3, 0x3AB)) return c + 0x20;
    if (Between(c, 0x388, 0x38A)) return c + 0x25;
    if (Between(c, 0x38E, 0x38F)) return c + 0x3F;
    if (Between(c, 0x370, 0x373) || Between(c, 0x3D8, 0x3EF)) return EvenIsCapital(c);
    if (Between(c, 0x3FD, 0x3FF)) return c - 0x82;
    switch (c) {
    case 0x376:
        return 0x377;
    case 0x37F:
        return 0x3F3;
    case 0x386:
        return 0x3AC;
    case 0x38C:
        return 0x3CC;
    case 0x3C2:
        return 0x3C3; // final sigma
    case 0x3CF:
        return 0x3D7;
    case 0x3D0:
        return 0x3B2;
    case 0x3D1:
        return 0x3B8;
    case 0x3D5:
        return 0x3C6;
    case 0x3D6:
        return 0x3C0;
    case 0x3F0:
        return 0x3BA;
    case 0x3F1:
        return 0x3C1;
    case 0x3F4:
        return 0x3B8;
    case 0x3F5:
        return 0x3B5;
    case 0x3F7:
        return 0x3F8;
    case 0x3F9:
        return 0x3F2;
    case 0x3FA:
        return 0x3FB;
    default:
        return c;
    }
}

char32_t FoldCyrillic(char32_t c) {
    if (Between(c, 0x400, 0x40F)) return c + 0x50;
    if (Between(c, 0x410, 0x42F)) return c + 0x20;
    if (c == 0x4C0) return 0x4CF;
    if (Between(c, 0x4C1, 0x4CE)) return OddIsCapital(c);
    if (Between(c, 0x460, 0x481) || Between(c, 0x48A, 0x4BF) || Between(c, 0x4D0, 0x52F))
        return EvenIsCapital(c);
    return c;
}

// The simple case fold of one code point of the scripts that fold here.
char32_t FoldCodePoint(char32_t c) {
    if (c < 0x80) return AsciiLower(static_cast<unsigned char>(c));
    if (c < 0x100) return FoldLatin1(c);
    if (c < 0x180) return FoldLatinExtendedA(c);
    if (Between(c, 0x370, 0x3FF)) return FoldGreek(c);
    if (Between(c, 0x400, 0x52F)) return FoldCyrillic(c);
    return c;
}

// The folded key of the character at Pos (Pos < size), advancing Pos past it.
char32_t NextKey(std::string_view s, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(s[pos]);
    if (lead < 0x80) {
        ++pos;
        return AsciiLower(lead);
    }
    const std::optional<char32_t> cp = NextUtf8(s, pos);
    return cp ? FoldCodePoint(*cp) : kInvalidByteBase + lead;
}

// Walks both texts key by key up to the first difference or the end of either.
// Returns the difference of the keys there (0 when one text ran out); I and J say where.
int64_t FirstDifference(std::string_view a, std::string_view b, std::size_t& i, std::size_t& j) {
    while (i < a.size() && j < b.size()) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[j]);
        if ((x | y) < 0x80) { // both ASCII: the common case, no decoding
            if (x != y) {
                const char32_t lx = AsciiLower(x), ly = AsciiLower(y);
                if (lx != ly) return static_cast<int64_t>(lx) - static_cast<int64_t>(ly);
            }
            ++i, ++j;
            continue;
        }
        const char32_t kx = NextKey(a, i);
        const char32_t ky = NextKey(b, j);
        if (kx != ky) return static_cast<int64_t>(kx) - static_cast<int64_t>(ky);
    }
    return 0;
}

} // namespace

bool SameText(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    return FirstDifference(a, b, i, j) == 0 && i == a.size() && j == b.size();
}

bool StartsWithText(std::string_view text, std::string_view prefix) {
    std::size_t i = 0, j = 0;
    return FirstDifference(text, prefix, i, j) == 0 && j == prefix.size();
}

int CompareText(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    const int64_t difference = FirstDifference(a, b, i, j);
    if (difference != 0) return difference < 0 ? -1 : 1;
    const bool aDone = i == a.size(), bDone = j == b.size();
    if (aDone && bDone) return 0;
    return aDone ? -1 : 1;
}

std::size_t CaselessHash(std::string_view s) {
    // FNV-1a over the folded keys that SameText compares.
    uint64_t hash = 0xcbf29ce484222325u;
    for (std::size_t i = 0; i < s.size();)
        hash = (hash ^ NextKey(s, i)) * 0x100000001b3u;
    return static_cast<std::size_t>(hash);
}

std::string AsciiUpper(std::string_view s) {
    std::string result(s);
    for (char& c : result) {
        const auto u = static_cast<unsigned char>(c);
        if (static_cast<unsigned char>(u - 'a') < 26) c = static_cast<char>(u - 0x20);
    }
    return result;
}

} // namespace brimble
