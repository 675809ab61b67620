// The language files: any bytes either read as a language file or are refused, the
// nesting limit holds, and every reading of a node and the message texts take the result.

#include "FuzzSupport.h"
#include "options/LanguageFile.h"

#include <cstdint>
#include <set>
#include <string>

namespace brimble::fuzz {
namespace {

// Walks a window's tree the way the windows read it; the depth never passes the limit.
void ReadNode(const TLanguageNode& node, int depth) {
    Check(depth <= kMaxLanguageNesting, "no node lies deeper than the nesting limit");
    for (const auto& [index, value] : node.ListEntries())
        Check(index >= 0, "a list index is not negative");
    for (const auto& [index, item] : node.CollectionItems())
        Check(index >= 0 && item != nullptr, "a collection item has an index and a node");
    for (const auto& [name, value] : node.Attributes)
        Check(node.Attribute(name) != nullptr, "every attribute is found by its name");
    for (const TLanguageNode& child : node.Children) {
        Check(node.Child(child.Name) != nullptr, "every child is found by its name");
        ReadNode(child, depth + 1);
    }
}

void CheckLanguageFile(std::string_view xml) {
    const std::optional<TLanguageFile> file = ParseLanguageFile(xml);
    if (!file) return;
    for (const TLanguageNode& window : file->Windows)
        ReadNode(window, 0);
    for (const std::string_view name : kLanguageWindows)
        file->Window(name);

    TMessageTexts texts;
    ApplyLanguageVariables(*file, texts);
    std::set<const std::string*> seen;
    for (auto it = file->Variables.rbegin(); it != file->Variables.rend(); ++it) {
        const std::string* text = texts.Find(it->first);
        if (!text || !seen.insert(text).second) continue;
        Check(*text == it->second, "a message text holds the last value the file gives it");
    }
}

} // namespace
} // namespace brimble::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    brimble::fuzz::CheckLanguageFile(brimble::fuzz::AsText(data, size));
    return 0;
}
