// The sim's 8-bit code page: Windows-1252, as on Western European systems.

#include "base/TextCodec.h"
#include "platform/sim/SimPlatform.h"

namespace brimble::sim {

std::string SimPlatform::ToAnsi(std::string_view utf8, bool* lossless) {
    return Utf8ToWindows1252(utf8, lossless);
}

std::string SimPlatform::FromAnsi(std::string_view bytes) {
    return Windows1252ToUtf8(bytes);
}

} // namespace brimble::sim
