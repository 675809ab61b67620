#include "engine/TCompressList.h"

#include <algorithm>
#include <stdexcept>

namespace brimble {

std::vector<std::string>::const_iterator TCompressList::LowerBound(std::string_view entry) const {
    return std::lower_bound(FEntries.begin(), FEntries.end(), entry,
                            [this](const std::string& held, std::string_view wanted) {
                                return FRules->Compare(held, wanted) < 0;
                            });
}

bool TCompressList::Add(std::string entry) {
    const auto at = LowerBound(entry);
    if (at != FEntries.end() && FRules->Same(*at, entry)) return false;
    FEntries.insert(at, std::move(entry));
    ++FRevision;
    return true;
}

std::size_t TCompressList::IndexOf(std::string_view entry) const {
    const auto at = LowerBound(entry);
    if (at == FEntries.end() || !FRules->Same(*at, entry)) return npos;
    return static_cast<std::size_t>(at - FEntries.begin());
}

std::size_t TCompressList::IndexOfName(std::string_view name) const {
    // Every entry of that name begins with the name and "=", and in the sorted list those
    // entries stand together from the first that does not sort before that prefix. A path
    // may hold "=" itself, so the few entries there are each checked by their own name.
    // Entries without "=" (the never list's) have an empty name too, wherever they sort.
    if (name.empty()) {
        for (std::size_t i = 0; i < FEntries.size(); ++i)
            if (NameOf(FEntries[i]).empty()) return i;
        return npos;
    }
    std::string prefix(name);
    prefix += '=';
    for (auto at = LowerBound(prefix); at != FEntries.end(); ++at) {
        if (at->size() < prefix.size() ||
            !FRules->Same(std::string_view(*at).substr(0, prefix.size()), prefix))
            break;
        if (FRules->Same(NameOf(*at), name)) return static_cast<std::size_t>(at - FEntries.begin());
    }
    return npos;
}

void TCompressList::Delete(std::size_t index) {
    if (index >= FEntries.size())
        throw std::out_of_range("list index " + std::to_string(index) + " out of bounds (" +
                                std::to_string(FEntries.size()) + ")");
    FEntries.erase(FEntries.begin() + static_cast<std::ptrdiff_t>(index));
    ++FRevision;
}

std::string_view TCompressList::NameOf(std::string_view entry) {
    const auto equals = entry.rfind('=');
    return equals == std::string_view::npos ? std::string_view() : entry.substr(0, equals);
}

std::string_view TCompressList::ValueOf(std::string_view entry) {
    const auto equals = entry.rfind('=');
    return equals == std::string_view::npos ? std::string_view() : entry.substr(equals + 1);
}

} // namespace brimble
