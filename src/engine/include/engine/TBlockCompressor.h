#pragma once

// Compresses blocks the way btrfs compresses data with zstd (one frame a block, the level of
// the request), only to learn how small they get.

#include "platform/Platform.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace brimble {

class TBlockCompressor final : public IBlockCompressor {
public:
    TBlockCompressor();
    ~TBlockCompressor() override;
    TBlockCompressor(const TBlockCompressor&) = delete;
    TBlockCompressor& operator=(const TBlockCompressor&) = delete;

    // Whether this build can compress (one built without zstd cannot estimate).
    static bool Available();
    // The file system's level when a request names none.
    static constexpr int kDefaultLevel = 3;

    // Bytes of Block compressed at Level (0: the default); -1 when it could not be done.
    int64_t CompressedSize(std::string_view block, int level) override;

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

} // namespace brimble
