#pragma once

// The boundary to the wide-character API: UTF-8 inside, UTF-16 at every call.

#include <string>
#include <string_view>

namespace brimble::win32 {

// Ill-formed UTF-8 becomes U+FFFD; an unpaired surrogate on the way back does too.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// A path as the file calls take it: "/" as "\", and a path too long for the classic limit
// behind "\\?\" (which switches off the system's own parsing, so it is normalised first).
std::wstring ApiPath(std::string_view path);

// A path the system returned (GetFinalPathNameByHandleW, say) without its "\\?\" prefix.
std::string WithoutLongPrefix(std::wstring_view path);

} // namespace brimble::win32
