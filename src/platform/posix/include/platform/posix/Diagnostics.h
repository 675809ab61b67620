#pragma once

// Where the back end reports what it had to give up on (folders it could not watch, for
// instance). The program connects it to its log; until then reports are dropped.

#include "base/LogLevels.h"

#include <functional>
#include <mutex>
#include <string>

namespace brimble::posix {

class Diagnostics {
public:
    // Message and log level, as the program's log takes them; called on any thread.
    using Sink = std::function<void(const std::string& message, int level)>;

    void SetSink(Sink sink);
    // False when no sink heard it: a report meant to be said once can be said again later.
    bool Log(const std::string& message, int level) const;

private:
    mutable std::mutex FMutex;
    Sink FSink;
};

} // namespace brimble::posix
