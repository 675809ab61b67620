#include "platform/posix/PosixPlatform.h"

namespace brimble {

std::unique_ptr<Platform> CreatePlatform() {
    return std::make_unique<posix::PosixPlatform>();
}

} // namespace brimble
