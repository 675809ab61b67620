#pragma once

// Case-insensitive comparison of UTF-8 text. Letters of the Latin, Greek and Cyrillic
// scripts fold; bytes that are not valid UTF-8 compare as themselves, never crash.

#include <cstddef>
#include <string>
#include <string_view>

namespace brimble {

// Whole strings equal, letter case ignored.
bool SameText(std::string_view a, std::string_view b);
// Text begins with Prefix over Prefix's whole length, letter case ignored.
bool StartsWithText(std::string_view text, std::string_view prefix);
// <0, 0, >0: order with letter case ignored (the order of the persistent lists).
int CompareText(std::string_view a, std::string_view b);
// A hash that agrees with SameText: texts equal with letter case ignored hash alike.
std::size_t CaselessHash(std::string_view s);
// Upper case of ASCII letters only.
std::string AsciiUpper(std::string_view s);

} // namespace brimble
