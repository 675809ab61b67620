#include "engine/FilterList.h"

#include "base/TextCase.h"

namespace brimble {

namespace {

constexpr char kDelimiter = ',';
constexpr char kQuote = '"';

constexpr bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

} // namespace

TFilterListReader::TFilterListReader(std::string_view text) : FText(text) {
    SkipBlanks();
}

bool TFilterListReader::Next(std::string_view& entry) {
    if (FTrailingEmptyPending) {
        FTrailingEmptyPending = false;
        entry = {};
        return true;
    }
    if (FPos >= FText.size()) return false;
    entry = FText[FPos] == kQuote ? ReadQuoted() : ReadPlain();
    SkipBlanks();
    SkipDelimiter();
    return true;
}

void TFilterListReader::SkipBlanks() {
    while (FPos < FText.size() && IsBlank(FText[FPos]))
        ++FPos;
}

std::string_view TFilterListReader::ReadPlain() {
    const std::size_t start = FPos;
    while (FPos < FText.size() && !IsBlank(FText[FPos]) && FText[FPos] != kDelimiter)
        ++FPos;
    return FText.substr(start, FPos - start);
}

std::string_view TFilterListReader::ReadQuoted() {
    const std::size_t start = ++FPos; // past the opening quote
    bool doubled = false;
    std::size_t end = FText.size(); // an unclosed quote runs to the end, losing nothing
    for (std::size_t quote = FText.find(kQuote, FPos); quote != std::string_view::npos;
         quote = FText.find(kQuote, quote + 2)) {
        if (quote + 1 < FText.size() && FText[quote + 1] == kQuote) {
            doubled = true;
            continue;
        }
        end = quote;
        break;
    }
    FPos = end < FText.size() ? end + 1 : end;
    const std::string_view content = FText.substr(start, end - start);
    if (!doubled) return content;

    FUndoubled.clear();
    for (std::size_t i = 0; i < content.size(); ++i) {
        FUndoubled += content[i];
        if (content[i] == kQuote) ++i; // the second quote of a pair
    }
    return FUndoubled;
}

void TFilterListReader::SkipDelimiter() {
    if (FPos >= FText.size() || FText[FPos] != kDelimiter) return;
    if (FPos + 1 == FText.size()) FTrailingEmptyPending = true;
    ++FPos;
    SkipBlanks();
}

bool FilterListContains(std::string_view filterText, std::string_view extension) {
    TFilterListReader reader(filterText);
    std::string_view entry;
    while (reader.Next(entry))
        if (SameText(entry, extension)) return true;
    return false;
}

std::vector<std::string> ParseFilterList(std::string_view filterText) {
    std::vector<std::string> entries;
    TFilterListReader reader(filterText);
    std::string_view entry;
    while (reader.Next(entry))
        entries.emplace_back(entry);
    return entries;
}

std::string_view FileExtension(std::string_view name) {
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

} // namespace brimble
