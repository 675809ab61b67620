#pragma once

// The extension filters: comma lists of extensions without the dot, read entry by entry.
// Outside double quotes every control character and the space ends an entry too, and such
// characters are skipped around commas and at the start. A quoted entry runs to its closing
// quote and may hold commas and spaces; a doubled quote inside it stands for one. Two commas
// in a row, a leading comma and a comma as the very last character each give an empty
// entry, which matches the empty extension of a file without one.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace brimble {

class TFilterListReader {
public:
    explicit TFilterListReader(std::string_view text);

    // The next entry; false after the last. The view lasts until the next call.
    bool Next(std::string_view& entry);

private:
    void SkipBlanks();
    std::string_view ReadPlain();
    std::string_view ReadQuoted();
    void SkipDelimiter();

    std::string_view FText;
    std::size_t FPos = 0;
    bool FTrailingEmptyPending = false;
    std::string FUndoubled; // only a quoted entry with doubled quotes needs a copy
};

// Whether Extension equals an entry of FilterText, letter case ignored. Reads only as far
// as the first match.
bool FilterListContains(std::string_view filterText, std::string_view extension);

// All entries of FilterText, in order.
std::vector<std::string> ParseFilterList(std::string_view filterText);

// The text after the last dot of a file name; empty when there is no dot or it ends the name.
std::string_view FileExtension(std::string_view name);

} // namespace brimble
