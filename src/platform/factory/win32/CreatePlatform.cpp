#include "platform/win32/Win32Platform.h"

namespace brimble {

std::unique_ptr<Platform> CreatePlatform() {
    return std::make_unique<win32::Win32Platform>();
}

} // namespace brimble
