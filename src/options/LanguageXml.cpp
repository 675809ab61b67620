#include "LanguageXml.h"

#include "base/TextCase.h"

#include <pugixml.hpp>

namespace brimble {

namespace {

// Translators write line breaks as the two characters "\n".
std::string WithLineBreaks(std::string_view value) {
    std::string text;
    text.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == 'n') {
            text += "\r\n";
            ++i;
        } else {
            text += value[i];
        }
    }
    return text;
}

// The first element, depth-first from Root itself, whose name is Name. A walk along parent
// and sibling links, so a document nested arbitrarily deep needs no stack.
pugi::xml_node FindElement(pugi::xml_node root, std::string_view name) {
    pugi::xml_node node = root;
    while (node) {
        if (node.type() == pugi::node_element && SameText(node.name(), name)) return node;
        if (pugi::xml_node child = node.first_child()) {
            node = child;
            continue;
        }
        while (node && node != root && !node.next_sibling())
            node = node.parent();
        if (!node || node == root) break;
        node = node.next_sibling();
    }
    return {};
}

void CopyAttributesAndText(pugi::xml_node source, TLanguageNode& target) {
    target.Name = source.name();
    for (pugi::xml_attribute attribute : source.attributes())
        target.Attributes.emplace_back(attribute.name(), WithLineBreaks(attribute.value()));
    if (pugi::xml_node first = source.first_child(); first.type() == pugi::node_cdata)
        target.ListText = first.value();
}

// Copies a window's element with its descendants down to the nesting limit. Each node's
// children are all added before any of them is filled, so the pointers kept on the work
// list stay valid.
TLanguageNode CopyWindow(pugi::xml_node window) {
    struct Pending {
        pugi::xml_node Source;
        TLanguageNode* Target;
        int Depth;
    };
    TLanguageNode result;
    std::vector<Pending> work{{window, &result, 0}};
    while (!work.empty()) {
        const Pending item = work.back();
        work.pop_back();
        CopyAttributesAndText(item.Source, *item.Target);
        if (item.Depth >= kMaxLanguageNesting) continue;
        std::vector<pugi::xml_node> elements;
        for (pugi::xml_node child : item.Source.children())
            if (child.type() == pugi::node_element) elements.push_back(child);
        item.Target->Children.resize(elements.size());
        for (size_t i = 0; i < elements.size(); ++i)
            work.push_back({elements[i], &item.Target->Children[i], item.Depth + 1});
    }
    return result;
}

} // namespace

bool LanguageFilesReadable() {
    return true;
}

std::optional<std::vector<TLanguageNode>> ReadLanguageWindows(std::string_view xml) {
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_auto);
    if (!parsed) return std::nullopt;
    const pugi::xml_node root = document.document_element();

    std::vector<TLanguageNode> windows;
    for (std::string_view windowName : kLanguageWindows) {
        const pugi::xml_node element = FindElement(root, windowName);
        if (!element) continue;
        windows.push_back(CopyWindow(element));
        // Keep the window's own name, whatever case the file writes it in.
        windows.back().Name = windowName;
    }
    return windows;
}

} // namespace brimble
