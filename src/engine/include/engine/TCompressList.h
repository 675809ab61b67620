#pragma once

// One of the three persistent file lists in memory: entries kept sorted by their whole
// text in the platform's path order, never two that name the same entry (letter case is
// ignored where the file system ignores it). Entries of the delayed and the lag list are
// name=value, the name a path and the value a stamp.

#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brimble {

class TCompressList {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    using const_iterator = std::vector<std::string>::const_iterator;

    // Rules must outlive the list (the platform's rules do).
    explicit TCompressList(const IPathRules& rules) : FRules(&rules) {}

    // Inserts Entry at its sorted place; false (and the list unchanged) when an entry the same
    // as it is there already.
    bool Add(std::string entry);
    // Index of the entry the same as Entry; npos when absent.
    std::size_t IndexOf(std::string_view entry) const;
    bool Contains(std::string_view entry) const { return IndexOf(entry) != npos; }
    // Index of the first entry, in list order, whose name is the same as Name. A search in
    // the sorted entries: a handled file's look-up costs no pass over a long list.
    std::size_t IndexOfName(std::string_view name) const;
    // Removes the entry at Index; std::out_of_range when there is none.
    void Delete(std::size_t index);
    void Clear() {
        FEntries.clear();
        ++FRevision;
    }
    // Counts the changes, so that a reader can tell that the list changed.
    uint64_t Revision() const { return FRevision; }

    std::size_t Count() const { return FEntries.size(); }
    bool Empty() const { return FEntries.empty(); }
    // The entry at Index; std::out_of_range when there is none.
    const std::string& operator[](std::size_t index) const { return FEntries.at(index); }
    const_iterator begin() const { return FEntries.begin(); }
    const_iterator end() const { return FEntries.end(); }

    // The text before the last "=" (a path may hold "=", a stamp never does); empty
    // when there is no "=".
    static std::string_view NameOf(std::string_view entry);
    // The text after the last "="; empty when there is no "=".
    static std::string_view ValueOf(std::string_view entry);

private:
    // The first position whose entry does not sort before Entry.
    std::vector<std::string>::const_iterator LowerBound(std::string_view entry) const;

    const IPathRules* FRules;
    std::vector<std::string> FEntries;
    uint64_t FRevision = 0;
};

} // namespace brimble
