// The estimate's choice of the files it reads and its prediction of the others.

#include "engine/EstimateSampler.h"

#include "base/TextCase.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace brimble {

namespace {

// The hash's low bits follow only the low bits of the characters: mixed, every bit counts.
uint64_t Mix(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdu;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53u;
    return x ^ (x >> 33);
}

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c - '0') < 10;
    });
}

std::string_view NameOf(std::string_view fullName, char delimiter) {
    const std::size_t slash = fullName.rfind(delimiter);
    return slash == std::string_view::npos ? fullName : fullName.substr(slash + 1);
}

} // namespace

TEstimateSampler::TEstimateSampler(char pathDelimiter, const TFileSampling& sampling,
                                   const TCompressGeometry& geometry)
    : FDelimiter(pathDelimiter), FSampling(sampling), FGeometry(geometry) {}

bool TEstimateSampler::Picked(std::string_view fullName, int64_t share) {
    if (share <= 1) return true;
    return Mix(CaselessHash(fullName)) % static_cast<uint64_t>(share) == 0;
}

std::string_view TEstimateSampler::GroupExtension(std::string_view name) {
    // A leading dot starts a hidden name, not an extension.
    const std::size_t first = name.find('.', 1);
    if (first == std::string_view::npos) return {};
    std::string_view rest = name.substr(first + 1);
    for (;;) {
        const std::size_t dot = rest.rfind('.');
        const std::string_view last = dot == std::string_view::npos ? rest : rest.substr(dot + 1);
        if (!AllDigits(last)) return last;
        if (dot == std::string_view::npos) return {};
        rest = rest.substr(0, dot);
    }
}

bool TEstimateSampler::Predictable(int64_t size) const {
    return size > FGeometry.SectorSize && size <= FSampling.MaxPredictedSize;
}

TEstimateSampler::TGroup& TEstimateSampler::GroupOf(std::string_view fullName, int64_t size) {
    const std::string_view name = NameOf(fullName, FDelimiter);
    const std::string_view extension = GroupExtension(name);
    // Names without an extension (programs, say) are alike within their folder.
    const std::string_view kind =
        extension.empty() ? fullName.substr(0, fullName.size() - name.size()) : extension;
    const auto sizeClass = static_cast<uint64_t>(std::bit_width(static_cast<uint64_t>(size)));
    // The folder and the extension never collide: a folder ends in the delimiter.
    return FGroups[Mix(CaselessHash(kind) + sizeClass * 0x9e3779b97f4a7c15u)];
}

bool TEstimateSampler::Reads(std::string_view fullName, int64_t size) {
    if (!Predictable(size)) return true;
    TGroup& group = GroupOf(fullName, size);
    if (group.Chosen >= FSampling.MinMeasured && !Picked(fullName, FSampling.Share)) return false;
    ++group.Chosen;
    return true;
}

void TEstimateSampler::Measured(std::string_view fullName, int64_t size, int64_t before,
                                int64_t after) {
    if (!Predictable(size)) return;
    TGroup& group = GroupOf(fullName, size);
    group.Before += before;
    group.After += std::min(after, before);
}

int64_t TEstimateSampler::Predict(std::string_view fullName, int64_t size, int64_t before) {
    TGroup& group = GroupOf(fullName, size);
    if (group.Before <= 0) return before;
    const long double exact = static_cast<long double>(before) *
                                  static_cast<long double>(group.After) /
                                  static_cast<long double>(group.Before) +
                              group.Carry;
    const int64_t sector = FGeometry.SectorSize;
    // A file of more than a sector keeps at least one when compressed; none gains more
    // than it takes now.
    const int64_t rounded = std::llround(exact / static_cast<long double>(sector)) * sector;
    const int64_t predicted = std::min(std::max(rounded, sector), before);
    group.Carry = exact - static_cast<long double>(predicted);
    return predicted;
}

} // namespace brimble
