#include "platform/sim/SimPlatform.h"

namespace brimble {

// A demonstration build: the programs run on empty in-memory volumes.
std::unique_ptr<Platform> CreatePlatform() {
    return std::make_unique<sim::SimPlatform>();
}

} // namespace brimble
