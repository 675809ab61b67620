#pragma once

#include <cstdint>
#include <vector>

namespace brimble {

// The code addresses of the calling thread's stack, innermost first, without the frames
// down to and including the function that starts at Hook (the throw entry point).
std::vector<uintptr_t> CaptureStackBelow(uintptr_t hook);

} // namespace brimble
