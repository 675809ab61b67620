#include "platform/win32/WideText.h"

#include "base/TextCodec.h"
#include "platform/DrivePaths.h"

#include <windows.h>

namespace brimble::win32 {

namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";

// Folders are created only below this length without the prefix (MAX_PATH less room for
// an 8.3 name).
constexpr std::size_t kClassicLimit = MAX_PATH - 12;

void AppendUtf16(std::wstring& out, char32_t code) {
    if (code < 0x10000) {
        out += static_cast<wchar_t>(code);
        return;
    }
    code -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (code >> 10));
    out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
}

} // namespace

std::wstring Widen(std::string_view utf8) {
    std::wstring wide;
    wide.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size())
        AppendUtf16(wide, NextUtf8(utf8, pos).value_or(kReplacementChar));
    return wide;
}

std::string Narrow(std::wstring_view wide) {
    std::string utf8;
    utf8.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const auto unit = static_cast<char32_t>(static_cast<uint16_t>(wide[i]));
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size()) {
            const auto low = static_cast<char32_t>(static_cast<uint16_t>(wide[i + 1]));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(utf8, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(utf8, unit >= 0xD800 && unit <= 0xDFFF ? kReplacementChar : unit);
    }
    return utf8;
}

std::wstring ApiPath(std::string_view path) {
    std::wstring wide = Widen(path);
    if (wide.starts_with(kLongPrefix)) return wide;
    for (wchar_t& c : wide)
        if (c == L'/') c = L'\\';
    if (wide.size() < kClassicLimit) return wide;
    if (ParseDrivePath(path))
        return std::wstring(kLongPrefix) + Widen(TDrivePathRules().Normalize(path));
    if (wide.starts_with(L"\\\\")) return std::wstring(kLongUncPrefix) + wide.substr(2);
    return wide;
}

std::string WithoutLongPrefix(std::wstring_view path) {
    if (path.starts_with(kLongUncPrefix))
        return "\\\\" + Narrow(path.substr(kLongUncPrefix.size()));
    if (path.starts_with(kLongPrefix)) return Narrow(path.substr(kLongPrefix.size()));
    return Narrow(path);
}

} // namespace brimble::win32
