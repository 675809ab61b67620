#include "engine/TCompressList.h"

#include "base/TextCase.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <stdexcept>

namespace brimble {

namespace {

// Long enough that a large list has few blocks, short enough that moving the rest of one
// on an insertion or a deletion costs little.
constexpr std::size_t kBlockMost = 512;

std::size_t LowestBit(std::size_t i) {
    return i & (~i + 1);
}

} // namespace

TCompressList::const_iterator& TCompressList::const_iterator::operator++() {
    if (++FOffset == (*FBlocks)[FBlock].size()) {
        ++FBlock;
        FOffset = 0;
    }
    return *this;
}

TCompressList::TCompressList(const IPathRules& rules)
    : FRules(&rules), FIndex(0, KeyHash{rules.Same("A", "a")}, KeyEqual{&rules}) {}

std::size_t TCompressList::KeyHash::operator()(std::string_view key) const {
    return Caseless ? CaselessHash(key) : std::hash<std::string_view>{}(key);
}

std::string_view TCompressList::KeyOf(std::string_view entry) {
    return entry.find('=') == std::string_view::npos ? entry : NameOf(entry);
}

std::optional<std::string_view> TCompressList::Held(std::string_view entry) const {
    // Entries that are the same have names that are the same, so they share a key.
    const auto [first, last] = FIndex.equal_range(KeyOf(entry));
    for (auto it = first; it != last; ++it)
        if (FRules->Same(it->second, entry)) return it->second;
    return std::nullopt;
}

TCompressList::Slot TCompressList::LowerBound(std::string_view entry) const {
    const auto block = std::partition_point(FBlocks.begin(), FBlocks.end(), [&](const Block& b) {
        return FRules->Compare(*b.back(), entry) < 0;
    });
    if (block == FBlocks.end()) // after every entry: the end of the last block
        return FBlocks.empty() ? Slot{0, 0} : Slot{FBlocks.size() - 1, FBlocks.back().size()};
    const auto at = std::partition_point(block->begin(), block->end(), [&](const auto& held) {
        return FRules->Compare(*held, entry) < 0;
    });
    return {static_cast<std::size_t>(block - FBlocks.begin()),
            static_cast<std::size_t>(at - block->begin())};
}

std::size_t TCompressList::IndexOfSlot(Slot slot) const {
    std::size_t before = slot.Offset;
    for (std::size_t i = slot.Block; i > 0; i -= LowestBit(i))
        before += FBlockTree[i];
    return before;
}

TCompressList::Slot TCompressList::SlotOfIndex(std::size_t index) const {
    // The last block whose preceding blocks hold no more than Index entries.
    std::size_t block = 0;
    std::size_t step = 1;
    while (step * 2 <= FBlocks.size())
        step *= 2;
    for (; step > 0; step /= 2) {
        if (block + step <= FBlocks.size() && FBlockTree[block + step] <= index) {
            block += step;
            index -= FBlockTree[block];
        }
    }
    return {block, index};
}

void TCompressList::CountIn(std::size_t block, std::ptrdiff_t change) {
    for (std::size_t i = block + 1; i < FBlockTree.size(); i += LowestBit(i))
        FBlockTree[i] += static_cast<std::size_t>(change);
}

void TCompressList::RecountBlocks() {
    FBlockTree.assign(FBlocks.size() + 1, 0);
    for (std::size_t i = 1; i < FBlockTree.size(); ++i) {
        FBlockTree[i] += FBlocks[i - 1].size();
        if (const std::size_t up = i + LowestBit(i); up < FBlockTree.size())
            FBlockTree[up] += FBlockTree[i];
    }
}

bool TCompressList::Add(std::string entry) {
    if (Held(entry)) return false;
    const Slot slot = LowerBound(entry);
    auto owned = std::make_unique<const std::string>(std::move(entry));
    const std::string_view text = *owned;
    FIndex.emplace(KeyOf(text), text);
    ++FCount;
    ++FRevision;
    if (FBlocks.empty()) {
        FBlocks.emplace_back().push_back(std::move(owned));
        RecountBlocks();
        return true;
    }
    Block& block = FBlocks[slot.Block];
    block.insert(block.begin() + static_cast<std::ptrdiff_t>(slot.Offset), std::move(owned));
    if (block.size() <= kBlockMost) {
        CountIn(slot.Block, 1);
        return true;
    }
    // A full block splits in two halves; rare enough to count all blocks anew.
    Block upper(std::make_move_iterator(block.begin() + kBlockMost / 2),
                std::make_move_iterator(block.end()));
    block.resize(kBlockMost / 2);
    FBlocks.insert(FBlocks.begin() + static_cast<std::ptrdiff_t>(slot.Block) + 1, std::move(upper));
    RecountBlocks();
    return true;
}

std::size_t TCompressList::IndexOf(std::string_view entry) const {
    const std::optional<std::string_view> held = Held(entry);
    return held ? IndexOfSlot(LowerBound(*held)) : npos;
}

std::size_t TCompressList::IndexOfName(std::string_view name) const {
    // Entries without "=" (the never list's) have the empty name, and no file has it: the
    // one look-up that walks the list.
    if (name.empty()) {
        std::size_t i = 0;
        for (const std::string& entry : *this) {
            if (NameOf(entry).empty()) return i;
            ++i;
        }
        return npos;
    }
    std::optional<std::string_view> first;
    const auto [from, to] = FIndex.equal_range(name);
    for (auto it = from; it != to; ++it) {
        const std::string_view entry = it->second;
        if (entry.find('=') == std::string_view::npos) continue; // keyed by its whole text
        if (!first || FRules->Compare(entry, *first) < 0) first = entry;
    }
    return first ? IndexOfSlot(LowerBound(*first)) : npos;
}

const std::string& TCompressList::operator[](std::size_t index) const {
    if (index >= FCount)
        throw std::out_of_range("list index " + std::to_string(index) + " out of bounds (" +
                                std::to_string(FCount) + ")");
    const Slot slot = SlotOfIndex(index);
    return *FBlocks[slot.Block][slot.Offset];
}

void TCompressList::Delete(std::size_t index) {
    if (index >= FCount)
        throw std::out_of_range("list index " + std::to_string(index) + " out of bounds (" +
                                std::to_string(FCount) + ")");
    const Slot slot = SlotOfIndex(index);
    Block& block = FBlocks[slot.Block];
    const std::string& text = *block[slot.Offset];
    const auto [from, to] = FIndex.equal_range(KeyOf(text));
    for (auto it = from; it != to; ++it) {
        if (it->second.data() == text.data()) {
            FIndex.erase(it);
            break;
        }
    }
    block.erase(block.begin() + static_cast<std::ptrdiff_t>(slot.Offset));
    --FCount;
    ++FRevision;
    const auto next = FBlocks.begin() + static_cast<std::ptrdiff_t>(slot.Block) + 1;
    if (block.empty()) {
        FBlocks.erase(next - 1);
    } else if (next != FBlocks.end() && block.size() + next->size() <= kBlockMost / 2) {
        // Small neighbours join, so that a list that shrank has no more blocks than it needs.
        block.insert(block.end(), std::make_move_iterator(next->begin()),
                     std::make_move_iterator(next->end()));
        FBlocks.erase(next);
    } else {
        CountIn(slot.Block, -1);
        return;
    }
    RecountBlocks();
}

void TCompressList::Clear() {
    FIndex.clear();
    FBlocks.clear();
    FBlockTree.clear();
    FCount = 0;
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
