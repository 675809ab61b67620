#include "platform/posix/Diagnostics.h"

namespace brimble::posix {

void Diagnostics::SetSink(Sink sink) {
    const std::lock_guard lock(FMutex);
    FSink = std::move(sink);
}

bool Diagnostics::Log(const std::string& message, int level) const {
    Sink sink;
    {
        const std::lock_guard lock(FMutex);
        sink = FSink;
    }
    if (!sink) return false;
    sink(message, level);
    return true;
}

} // namespace brimble::posix
