#include "engine/ListFileFormat.h"

#include "base/TextCodec.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace brimble {

namespace {

// NUL would cut a name short wherever it reaches a system call.
std::string ReplaceNul(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\0')
            AppendUtf8(out, kReplacementChar);
        else
            out.push_back(c);
    }
    return out;
}

// The whole file as UTF-8 text, by its byte-order mark or the 8-bit code page.
std::string ListFileText(std::string_view bytes, ILocale& locale) {
    const TTextEncoding encoding = EncodingOfBom(bytes);
    // The code page's own bytes pass as they are: where it is UTF-8 (Linux), a file name
    // that is not valid UTF-8 still names its file.
    if (encoding == TTextEncoding::CodePage) return ReplaceNul(locale.FromAnsi(bytes));
    return ReplaceNul(DecodeText(bytes, encoding));
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
    return SplitLines(ListFileText(bytes, locale));
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
    }
    // Code-page bytes that begin like a byte-order mark would be read back in that encoding
    // (or lose the mark's characters): UTF-8 keeps the first entry whole.
    if (!allLossless || EncodingOfBom(result.Bytes) != TTextEncoding::CodePage) {
        std::string text;
        for (std::string_view line : lines)
            text.append(line).append("\r\n");
        result.Bytes = EncodeText(text, TTextEncoding::Utf8);
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
