#include "options/OptionsStorage.h"

#include "base/TextCase.h"
#include "base/TextCodec.h"
#include "options/OptionsTable.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace brimble {

namespace {

constexpr std::string_view kNewFileLineEnd = "\r\n";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// --- the INI text ---

struct TIniLine {
    std::string Text;
    std::string End; // the line's own end ("\r\n", "\n", "\r" or none on the last line)
};

// The lines of a settings file. Reading and writing follow the profile functions: names
// of sections and keys match without regard to case, the first section of a name and the
// first line of a key in it count, and a written key replaces that line or is added after
// the section's last line that is not empty. Lines it does not understand are kept as they
// are.
class TIniDocument {
public:
    // A settings file saved by a Windows editor may be UTF-16; one without a byte-order
    // mark, or with the UTF-8 one, is kept byte for byte.
    explicit TIniDocument(std::string_view bytes) : FEncoding(EncodingOfBom(bytes)) {
        if (FEncoding == TTextEncoding::Utf8)
            Split(bytes.substr(BomOf(FEncoding).size()));
        else
            Split(DecodeText(bytes, FEncoding));
        // Added lines end as the file's own lines do.
        for (const TIniLine& line : FLines)
            if (!line.End.empty()) {
                FLineEnd = line.End;
                break;
            }
    }

    // Without the spaces around the value, which a hand-edited "Key = Value" has. Tabs stay:
    // a tab at either end of a folder list is an empty entry.
    std::optional<std::string> Read(std::string_view section, std::string_view key) const {
        const std::size_t line = FindKey(section, key);
        if (line == npos) return std::nullopt;
        std::string_view value = FLines[line].Text;
        value.remove_prefix(value.find('=') + 1);
        value.remove_prefix(std::min(value.find_first_not_of(' '), value.size()));
        value.remove_suffix(value.size() - (value.find_last_not_of(' ') + 1));
        return AsText(value);
    }

    void Write(std::string_view section, std::string_view key, std::string_view value) {
        std::string text = std::string(key) + "=" + AsText(value);
        if (const std::size_t line = FindKey(section, key); line != npos) {
            FLines[line].Text = std::move(text);
            return;
        }
        std::size_t header = FindSection(section);
        if (header == npos) {
            if (!FLines.empty() && !TrimBlanks(FLines.back().Text).empty())
                Append(FLines.size(), "");
            header = FLines.size();
            std::string title = "[";
            title.append(section).append("]");
            Append(header, std::move(title));
        }
        std::size_t last = header;
        for (std::size_t i = header + 1, end = SectionEnd(header); i < end; ++i)
            if (!TrimBlanks(FLines[i].Text).empty()) last = i;
        Append(last + 1, std::move(text));
    }

    std::string Bytes() const {
        std::string text;
        for (const TIniLine& line : FLines)
            text.append(line.Text).append(line.End);
        if (FEncoding == TTextEncoding::Utf8) return std::string(BomOf(FEncoding)) + text;
        return EncodeText(text, FEncoding);
    }

private:
    static constexpr std::size_t npos = std::numeric_limits<std::size_t>::max();

    // The lines of a UTF-8 file keep their bytes, but a value read from it or written into
    // it is well-formed, as a decoded file's would be.
    std::string AsText(std::string_view value) const {
        return FEncoding == TTextEncoding::Utf8 ? SanitizeUtf8(value) : std::string(value);
    }

    // Lines end at "\r\n", "\n" or a lone "\r".
    void Split(std::string_view text) {
        std::size_t start = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '\r' && text[i] != '\n') continue;
            std::size_t endLength = 1;
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') endLength = 2;
            FLines.push_back({std::string(text.substr(start, i - start)),
                              std::string(text.substr(i, endLength))});
            i += endLength - 1;
            start = i + 1;
        }
        if (start < text.size()) FLines.push_back({std::string(text.substr(start)), ""});
    }

    // Inserts a line before Index; a last line without its end gets one first.
    void Append(std::size_t index, std::string text) {
        if (index > 0 && FLines[index - 1].End.empty()) FLines[index - 1].End = FLineEnd;
        FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(index),
                      TIniLine{std::move(text), FLineEnd});
    }

    static std::optional<std::string_view> SectionName(std::string_view text) {
        const std::string_view trimmed = TrimBlanks(text);
        if (!trimmed.starts_with('[')) return std::nullopt;
        const std::string_view rest = trimmed.substr(1);
        return TrimBlanks(rest.substr(0, rest.find(']')));
    }

    static std::optional<std::string_view> KeyName(std::string_view text) {
        const std::string_view trimmed = TrimBlanks(text);
        if (trimmed.starts_with(';') || trimmed.starts_with('[')) return std::nullopt;
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos) return std::nullopt;
        return TrimBlanks(text.substr(0, equals));
    }

    std::size_t FindSection(std::string_view section) const {
        for (std::size_t i = 0; i < FLines.size(); ++i) {
            const auto name = SectionName(FLines[i].Text);
            if (name && SameText(*name, section)) return i;
        }
        return npos;
    }

    std::size_t SectionEnd(std::size_t header) const {
        std::size_t i = header + 1;
        while (i < FLines.size() && !SectionName(FLines[i].Text))
            ++i;
        return i;
    }

    std::size_t FindKey(std::string_view section, std::string_view key) const {
        const std::size_t header = FindSection(section);
        if (header == npos) return npos;
        for (std::size_t i = header + 1, end = SectionEnd(header); i < end; ++i) {
            const auto name = KeyName(FLines[i].Text);
            if (name && SameText(*name, key)) return i;
        }
        return npos;
    }

    TTextEncoding FEncoding;
    std::vector<TIniLine> FLines;
    std::string FLineEnd{kNewFileLineEnd};
};

// A value may not break its line: a line end inside it would start a new key or section.
std::string OnOneLine(std::string value) {
    for (char& c : value)
        if (c == '\r' || c == '\n') c = ' ';
    return value;
}

bool IsWide(TOptionForm form) {
    return form == TOptionForm::Integer64;
}

void LoadSetting(const TIniDocument& ini, const TOptionSetting& setting, TBrimbleOptions& options) {
    const std::optional<std::string> value = ini.Read(kOptionsSection, setting.Key);
    switch (setting.Form) {
    case TOptionForm::String:
        if (value)
            TextField(options, setting) = *value;
        else
            ApplyDefault(options, setting);
        return;
    case TOptionForm::FolderList:
        if (value)
            ListField(options, setting) = SplitFolderList(*value);
        else
            ApplyDefault(options, setting);
        return;
    default:
        break;
    }
    const std::optional<int64_t> number =
        value ? ParseStoredInteger(*value, IsWide(setting.Form)) : std::nullopt;
    if (number)
        SetStoredNumber(options, setting, *number);
    else
        ApplyDefault(options, setting);
}

std::string StoredText(const TBrimbleOptions& options, const TOptionSetting& setting) {
    switch (setting.Form) {
    case TOptionForm::String:
        return OnOneLine(TextField(options, setting));
    case TOptionForm::FolderList:
        return OnOneLine(JoinFolderList(ListField(options, setting)));
    default:
        return std::to_string(GetStoredNumber(options, setting));
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<uint64_t> ParseHex(std::string_view digits, bool wide) {
    const std::size_t maxDigits = wide ? 16 : 8;
    if (digits.empty()) return std::nullopt;
    while (digits.size() > 1 && digits.front() == '0')
        digits.remove_prefix(1);
    if (digits.size() > maxDigits) return std::nullopt;
    uint64_t value = 0;
    for (const char c : digits) {
        const int digit = HexDigit(c);
        if (digit < 0) return std::nullopt;
        value = (value << 4) | static_cast<uint64_t>(digit);
    }
    return value;
}

// Magnitudes up to Limit only: the caller applies the sign.
std::optional<uint64_t> ParseDecimal(std::string_view digits, uint64_t limit) {
    if (digits.empty()) return std::nullopt;
    uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<uint64_t>(c - '0');
        if (value > (limit - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

} // namespace

std::optional<int64_t> ParseStoredInteger(std::string_view text, bool wide) {
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.starts_with('$') || text.starts_with("0x") || text.starts_with("0X")) {
        const auto bits = ParseHex(text.substr(text.front() == '$' ? 1 : 2), wide);
        if (!bits) return std::nullopt;
        // Two's complement of the key's width: $FFFFFFFF is -1 in a 32-bit key.
        const int64_t value =
            wide ? static_cast<int64_t>(*bits) : static_cast<int32_t>(static_cast<uint32_t>(*bits));
        if (!negative) return value;
        if (value ==
            (wide ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int32_t>::min()))
            return value;
        return -value;
    }
    const uint64_t maxPositive = wide ? static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
                                      : static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    const auto magnitude = ParseDecimal(text, negative ? maxPositive + 1 : maxPositive);
    if (!magnitude) return std::nullopt;
    if (!negative) return static_cast<int64_t>(*magnitude);
    // -(2^63) has no positive counterpart: negate in unsigned arithmetic.
    return static_cast<int64_t>(~*magnitude + 1);
}

std::string JoinFolderList(const std::vector<std::string>& entries) {
    if (entries.size() == 1 && entries.front().empty()) return "\"\"";
    std::string text;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) text += '\t';
        const std::string& entry = entries[i];
        if (entry.find_first_of("\t\"") == std::string::npos) {
            text += entry;
            continue;
        }
        text += '"';
        for (const char c : entry) {
            if (c == '"') text += '"';
            text += c;
        }
        text += '"';
    }
    return text;
}

std::vector<std::string> SplitFolderList(std::string_view text) {
    std::vector<std::string> entries;
    if (text.empty()) return entries;
    std::size_t i = 0;
    for (;;) {
        std::string entry;
        if (i < text.size() && text[i] == '"') {
            // Quoted: to the closing quote, a doubled quote standing for one. What follows
            // the closing quote up to the tab stays part of the entry; an unclosed quote runs
            // to the end of the value.
            for (++i; i < text.size(); ++i) {
                if (text[i] != '"') {
                    entry += text[i];
                } else if (i + 1 < text.size() && text[i + 1] == '"') {
                    entry += '"';
                    ++i;
                } else {
                    ++i;
                    break;
                }
            }
        }
        const std::size_t tab = text.find('\t', i);
        const std::size_t stop = tab == std::string_view::npos ? text.size() : tab;
        entry.append(text.substr(i, stop - i));
        entries.push_back(std::move(entry));
        if (tab == std::string_view::npos) break;
        i = tab + 1; // a tab at the very end gives an empty last entry
    }
    return entries;
}

OsResult LoadOptionsFromFile(IFileSystem& fs, const std::string& iniFileName,
                             TBrimbleOptions& options) {
    std::string bytes;
    OsResult read;
    // Anything in the file's place counts, a FIFO or a folder too: it is no settings file.
    if (fs.FindEntry(iniFileName)) read = fs.ReadWholeFile(iniFileName, bytes);
    if (!read) bytes.clear();
    const TIniDocument ini(bytes);
    for (const TOptionSetting& setting : OptionSettings())
        LoadSetting(ini, setting, options);
    return read;
}

OsResult SaveOptionsToFile(IFileSystem& fs, const std::string& iniFileName,
                           const TBrimbleOptions& options) {
    std::string bytes;
    if (fs.FindEntry(iniFileName))
        if (const OsResult read = fs.ReadWholeFile(iniFileName, bytes); !read) return read;
    TIniDocument ini(bytes);
    for (const TOptionSetting& setting : OptionSettings())
        ini.Write(kOptionsSection, setting.Key, StoredText(options, setting));
    return fs.ReplaceFileAtomically(iniFileName, ini.Bytes());
}

} // namespace brimble
