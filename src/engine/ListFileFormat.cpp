#include "engine/ListFileFormat.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace brimble {

namespace {

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view Utf16LeBom = "\xFF\xFE";
constexpr std::string_view Utf16BeBom = "\xFE\xFF";
constexpr char32_t Replacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    // NUL would cut the name short wherever it reaches a system call.
    if (c == 0) c = Replacement;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The length of the well-formed UTF-8 sequence at the start of Text; 0 when there is none.
std::size_t WellFormedLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;  // no overlong forms
        if (lead == 0xED) high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;  // no overlong forms
        if (lead == 0xF4) high = 0x8F; // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

std::string SanitizeUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = WellFormedLength(text);
        if (length == 0) {
            AppendUtf8(out, Replacement);
            text.remove_prefix(1);
        } else {
            if (length == 1)
                AppendUtf8(out, static_cast<unsigned char>(text[0]));
            else
                out.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return out;
}

std::string DecodeUtf16(std::string_view bytes, bool bigEndian) {
    const auto unitAt = [&](std::size_t i) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    };
    const auto isHigh = [](char16_t u) { return u >= 0xD800 && u <= 0xDBFF; };
    const auto isLow = [](char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; };

    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = unitAt(i);
        if (isHigh(unit) && i + 3 < bytes.size() && isLow(unitAt(i + 2))) {
            const char16_t low = unitAt(i + 2);
            AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                (static_cast<char32_t>(low) - 0xDC00));
            i += 2;
        } else if (isHigh(unit) || isLow(unit)) {
            AppendUtf8(out, Replacement);
        } else {
            AppendUtf8(out, unit);
        }
    }
    if (i < bytes.size()) AppendUtf8(out, Replacement); // an odd byte at the end
    return out;
}

std::string ReplaceNul(std::string text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\0')
            AppendUtf8(out, Replacement);
        else
            out.push_back(c);
    }
    return out;
}

// The whole file as UTF-8 text, by its byte-order mark or the 8-bit code page.
std::string DecodeText(std::string_view bytes, ILocale& locale) {
    if (bytes.starts_with(Utf8Bom)) return SanitizeUtf8(bytes.substr(Utf8Bom.size()));
    if (bytes.starts_with(Utf16LeBom)) return DecodeUtf16(bytes.substr(2), false);
    if (bytes.starts_with(Utf16BeBom)) return DecodeUtf16(bytes.substr(2), true);
    // The code page's own bytes pass as they are: where it is UTF-8 (Linux), a file name
    // that is not valid UTF-8 still names its file.
    return ReplaceNul(locale.FromAnsi(bytes));
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// A leading plus sign is accepted; one before a minus sign is not.
std::string_view WithoutPlusSign(std::string_view number) {
    if (number.starts_with('+') && !number.starts_with("+-")) number.remove_prefix(1);
    return number;
}

} // namespace

std::vector<std::string> DecodeListFile(std::string_view bytes, ILocale& locale) {
    return SplitLines(DecodeText(bytes, locale));
}

EncodedListFile EncodeListFile(const std::vector<std::string>& entries, ILocale& locale) {
    EncodedListFile result;
    std::vector<std::string_view> lines;
    std::vector<std::string> ansiLines;
    bool allLossless = true;
    for (const std::string& entry : entries) {
        if (entry.find_first_of("\r\n") != std::string::npos) {
            result.Skipped.push_back(entry);
            continue;
        }
        lines.push_back(entry);
        bool lossless = true;
        if (allLossless) ansiLines.push_back(locale.ToAnsi(entry, &lossless));
        allLossless = allLossless && lossless;
    }

    if (allLossless) {
        for (const std::string& line : ansiLines)
            result.Bytes.append(line).append("\r\n");
    } else {
        result.Bytes.append(Utf8Bom);
        for (std::string_view line : lines)
            result.Bytes.append(line).append("\r\n");
    }
    return result;
}

std::string FormatDayStamp(std::string_view name, int32_t day) {
    return std::string(name) + "=" + std::to_string(day);
}

std::string FormatDateTimeStamp(std::string_view name, TDateTime when,
                                std::string_view decimalSeparator) {
    char digits[64];
    const auto [end, ec] =
        std::to_chars(digits, digits + sizeof digits, when, std::chars_format::fixed, 6);
    std::string value = ec == std::errc() ? std::string(digits, end) : std::string("0.000000");
    const auto point = value.find('.');
    if (point != std::string::npos && !decimalSeparator.empty())
        value.replace(point, 1, decimalSeparator);
    return std::string(name) + "=" + value;
}

int32_t ReadDayStamp(std::string_view value) {
    value = WithoutPlusSign(value);
    int32_t day = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), day);
    if (ec != std::errc() || end != value.data() + value.size()) return 0;
    return day;
}

std::optional<TDateTime> ReadDateTimeStamp(std::string_view value,
                                           std::string_view decimalSeparator) {
    if (decimalSeparator.empty()) decimalSeparator = ".";
    std::string text(TrimBlanks(value));
    if (decimalSeparator != ".") {
        // Only the locale's separator counts: a point is no decimal separator here.
        if (text.find('.') != std::string::npos) return std::nullopt;
        const auto at = text.find(decimalSeparator);
        if (at != std::string::npos)
            text = text.substr(0, at) + '.' + text.substr(at + decimalSeparator.size());
    }
    const std::string_view digits = WithoutPlusSign(text);
    double result = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), result);
    if (ec != std::errc() || end != digits.data() + digits.size() || !std::isfinite(result))
        return std::nullopt;
    return result;
}

} // namespace brimble
