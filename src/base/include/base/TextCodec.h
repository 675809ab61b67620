#pragma once

// The one place that turns bytes into UTF-8 text and back: UTF-8, UTF-16 in both byte
// orders, byte-order marks and the 8-bit Windows-1252 code page.
//
// One rule for ill-formed input everywhere: a UTF-8 sequence that is truncated, overlong,
// encodes a surrogate (U+D800..U+DFFF) or lies above U+10FFFF is ill-formed, and each of
// its bytes stands for itself as one U+FFFD; an unpaired UTF-16 surrogate and an odd byte
// at the end of UTF-16 each become one U+FFFD. Decoding never fails.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace brimble {

inline constexpr char32_t kReplacementChar = 0xFFFD;

// The code point of the UTF-8 sequence at Pos (Pos < size), advancing Pos past it; nothing
// for a byte that starts no well-formed sequence, advancing Pos by that one byte.
std::optional<char32_t> NextUtf8(std::string_view text, std::size_t& pos);

// Appends the UTF-8 form of Code; a surrogate or a value above U+10FFFF appends U+FFFD.
void AppendUtf8(std::string& out, char32_t code);

// Text with every byte of an ill-formed sequence replaced by U+FFFD; well-formed text
// comes back unchanged.
std::string SanitizeUtf8(std::string_view text);

// How a text file is encoded; CodePage is the system's 8-bit code page, without a mark.
enum class TTextEncoding { CodePage, Utf8, Utf16Le, Utf16Be };

// The encoding the byte-order mark at the start of Bytes names; CodePage without one.
TTextEncoding EncodingOfBom(std::string_view bytes);
// The byte-order mark of Encoding; empty for CodePage.
std::string_view BomOf(TTextEncoding encoding);

// A file's bytes in Encoding, its byte-order mark included, as well-formed UTF-8 without
// the mark. CodePage bytes come back unchanged: converting them is the locale's job.
std::string DecodeText(std::string_view bytes, TTextEncoding encoding);
// UTF-8 text as a file's bytes in Encoding, byte-order mark first. Ill-formed UTF-8 is
// written as U+FFFD; CodePage text comes back unchanged.
std::string EncodeText(std::string_view text, TTextEncoding encoding);

// Windows-1252 bytes as UTF-8. The five bytes the code page leaves undefined map to the
// control characters of their number, as Windows maps them.
std::string Windows1252ToUtf8(std::string_view bytes);
// UTF-8 text as Windows-1252; a character the code page lacks, or an ill-formed byte,
// becomes '?' and clears Lossless.
std::string Utf8ToWindows1252(std::string_view text, bool* lossless = nullptr);

} // namespace brimble
