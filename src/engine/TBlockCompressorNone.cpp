// The block compressor of a build without zstd: it compresses nothing.

#include "engine/TBlockCompressor.h"

namespace brimble {

struct TBlockCompressor::TState {};

TBlockCompressor::TBlockCompressor() = default;

TBlockCompressor::~TBlockCompressor() = default;

bool TBlockCompressor::Available() {
    return false;
}

int64_t TBlockCompressor::CompressedSize(std::string_view /*block*/, int /*level*/) {
    return -1;
}

} // namespace brimble
