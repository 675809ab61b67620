#pragma once

// What the fuzz targets share: the input as text, split into parts, and a check that aborts
// when a property of a reader does not hold, so that libFuzzer keeps the input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace brimble::fuzz {

inline std::string_view AsText(const uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The parts of Text between the Separator characters: N separators give N + 1 parts.
inline std::vector<std::string> SplitAt(std::string_view text, char separator) {
    std::vector<std::string> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.emplace_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

// The text before the first Separator and the rest after it (empty without one).
inline std::pair<std::string_view, std::string_view> SplitFirst(std::string_view text,
                                                                char separator) {
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos) return {text, {}};
    return {text.substr(0, at), text.substr(at + 1)};
}

inline void Check(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "fuzz: property does not hold: %s\n", property);
    std::abort();
}

} // namespace brimble::fuzz
