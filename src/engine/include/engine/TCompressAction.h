#pragma once

#include <cstdint>

namespace brimble {

// The order matters: a compress action is one ordered before caDecompress.
enum class TCompressAction : uint8_t {
    caCompress = 0,
    caCompressDecrypted = 1,
    caDecompress = 2,
    caNone = 3,
};

inline bool IsCompressAction(TCompressAction a) {
    return a < TCompressAction::caDecompress;
}

} // namespace brimble
