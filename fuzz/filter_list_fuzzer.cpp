// The extension filters. The input is a file name, a line end and the filter text; every
// entry read is matched, and entries written quoted read back as they were.

#include "FuzzSupport.h"
#include "base/TextCase.h"
#include "engine/FilterList.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace brimble::fuzz {
namespace {

// Every entry in double quotes, its quotes doubled: the form that keeps any entry whole.
std::string QuotedFilterList(const std::vector<std::string>& entries) {
    std::string text;
    for (std::string entry : entries) {
        for (auto at = entry.find('"'); at != std::string::npos; at = entry.find('"', at + 2))
            entry.insert(at, 1, '"');
        text += (text.empty() ? "\"" : ",\"") + entry + '"';
    }
    return text;
}

void CheckFilter(std::string_view fileName, std::string_view filter) {
    const std::vector<std::string> entries = ParseFilterList(filter);
    for (const std::string& entry : entries)
        Check(FilterListContains(filter, entry), "every entry of a filter matches");

    const std::string_view extension = FileExtension(fileName);
    Check(extension.find('.') == std::string_view::npos && fileName.ends_with(extension),
          "an extension is the text after the last dot");
    const bool listed = std::any_of(entries.begin(), entries.end(),
                                    [&](const std::string& e) { return SameText(e, extension); });
    Check(FilterListContains(filter, extension) == listed,
          "a filter matches exactly the extensions it lists");

    Check(ParseFilterList(QuotedFilterList(entries)) == entries,
          "quoted entries read back as they were");
}

} // namespace
} // namespace brimble::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto [fileName, filter] =
        brimble::fuzz::SplitFirst(brimble::fuzz::AsText(data, size), '\n');
    brimble::fuzz::CheckFilter(fileName, filter);
    return 0;
}
