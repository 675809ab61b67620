// The block compressor on the system's zstd library.

#include "engine/TBlockCompressor.h"

#include <zstd.h>

namespace brimble {

struct TBlockCompressor::TState {
    struct TContextFree {
        void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
    };
    std::unique_ptr<ZSTD_CCtx, TContextFree> Context{ZSTD_createCCtx()};
    std::string Output;
};

TBlockCompressor::TBlockCompressor() : FState(std::make_unique<TState>()) {}

TBlockCompressor::~TBlockCompressor() = default;

bool TBlockCompressor::Available() {
    return true;
}

int64_t TBlockCompressor::CompressedSize(std::string_view block, int level) {
    if (!FState->Context) return -1;
    FState->Output.resize(ZSTD_compressBound(block.size()));
    // One frame with the block's size in its header and no checksum, as the kernel writes it;
    // the known size also limits the window to the block, as the kernel's does.
    const std::size_t written =
        ZSTD_compressCCtx(FState->Context.get(), FState->Output.data(), FState->Output.size(),
                          block.data(), block.size(), level > 0 ? level : kDefaultLevel);
    if (ZSTD_isError(written)) return -1;
    return static_cast<int64_t>(written);
}

} // namespace brimble
