#pragma once

// Switches that make the back end take the path an ordinary user or an older kernel takes,
// so that tests can prove those paths on a machine where the better one is available.

#include <atomic>

namespace brimble::posix {

struct PosixSwitches {
    // Decompress by rewriting the data in place, as on kernels without the defragment
    // request that writes data back uncompressed.
    std::atomic<bool> ForceInPlaceDecompression{false};
    // Watch changes with inotify, as a user without CAP_SYS_ADMIN does.
    std::atomic<bool> ForceInotify{false};
    // Estimate on-disk sizes from the extent map, as a user without CAP_SYS_ADMIN does.
    std::atomic<bool> ForceEstimatedSize{false};
};

} // namespace brimble::posix
