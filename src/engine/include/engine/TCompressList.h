#pragma once

// One of the three persistent file lists in memory: entries kept sorted by their whole
// text in the platform's path order, never two that name the same entry (letter case is
// ignored where the file system ignores it). Entries of the delayed and the lag list are
// name=value, the name a path and the value a stamp.
//
// Lists of 100,000 files are expected, so nothing here walks the list: a hashed index
// answers look-ups, and the entries lie in short sorted blocks whose sizes a Fenwick tree
// counts, so that a position, an insertion and a deletion each cost a few steps.

#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace brimble {

class TCompressList {
    // Owned one by one, so that the index can point into the text while blocks move it.
    using Block = std::vector<std::unique_ptr<const std::string>>;

public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // The entries in list order.
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string;
        using difference_type = std::ptrdiff_t;
        using pointer = const std::string*;
        using reference = const std::string&;

        const_iterator() = default;
        reference operator*() const { return *(*FBlocks)[FBlock][FOffset]; }
        pointer operator->() const { return &**this; }
        const_iterator& operator++();
        const_iterator operator++(int) {
            const_iterator was = *this;
            ++*this;
            return was;
        }
        bool operator==(const const_iterator&) const = default;

    private:
        friend class TCompressList;
        const_iterator(const std::vector<Block>* blocks, std::size_t block)
            : FBlocks(blocks), FBlock(block) {}
        const std::vector<Block>* FBlocks = nullptr;
        std::size_t FBlock = 0;
        std::size_t FOffset = 0;
    };

    // Rules must outlive the list (the platform's rules do).
    explicit TCompressList(const IPathRules& rules);

    // Inserts Entry at its sorted place; false (and the list unchanged) when an entry the same
    // as it is there already.
    bool Add(std::string entry);
    // Index of the entry the same as Entry; npos when absent.
    std::size_t IndexOf(std::string_view entry) const;
    bool Contains(std::string_view entry) const { return Held(entry).has_value(); }
    // Index of the first entry, in list order, whose name is the same as Name.
    std::size_t IndexOfName(std::string_view name) const;
    // Removes the entry at Index; std::out_of_range when there is none.
    void Delete(std::size_t index);
    void Clear();
    // Counts the changes, so that a reader can tell that the list changed.
    uint64_t Revision() const { return FRevision; }

    std::size_t Count() const { return FCount; }
    bool Empty() const { return FCount == 0; }
    // The entry at Index; std::out_of_range when there is none.
    const std::string& operator[](std::size_t index) const;
    const_iterator begin() const { return {&FBlocks, 0}; }
    const_iterator end() const { return {&FBlocks, FBlocks.size()}; }

    // The text before the last "=" (a path may hold "=", a stamp never does); empty
    // when there is no "=".
    static std::string_view NameOf(std::string_view entry);
    // The text after the last "="; empty when there is no "=".
    static std::string_view ValueOf(std::string_view entry);

private:
    struct Slot {
        std::size_t Block;
        std::size_t Offset;
    };
    // The hash must agree with the rules: a case-folded one where they ignore case.
    struct KeyHash {
        bool Caseless;
        std::size_t operator()(std::string_view key) const;
    };
    struct KeyEqual {
        const IPathRules* Rules;
        bool operator()(std::string_view a, std::string_view b) const { return Rules->Same(a, b); }
    };
    // Key -> entry. The key is the entry's name, or the whole entry when it has no "=",
    // so that the never list's names do not all share the empty name.
    using Index = std::unordered_multimap<std::string_view, std::string_view, KeyHash, KeyEqual>;
    static std::string_view KeyOf(std::string_view entry);

    // The held entry the same as Entry.
    std::optional<std::string_view> Held(std::string_view entry) const;
    // The first place whose entry does not sort before Entry.
    Slot LowerBound(std::string_view entry) const;
    std::size_t IndexOfSlot(Slot slot) const;
    Slot SlotOfIndex(std::size_t index) const;
    void CountIn(std::size_t block, std::ptrdiff_t change);
    void RecountBlocks();

    const IPathRules* FRules;
    std::vector<Block> FBlocks;          // never an empty one
    std::vector<std::size_t> FBlockTree; // Fenwick tree of the block sizes, 1-based
    Index FIndex;
    std::size_t FCount = 0;
    uint64_t FRevision = 0;
};

} // namespace brimble
