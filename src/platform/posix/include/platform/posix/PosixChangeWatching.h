#pragma once

// Change watching below a mount point: fanotify on the whole file system where the process
// may, otherwise inotify with one watch per folder. Stop requests wake a blocked read at
// once (an eventfd beside the watch descriptor).

#include "platform/Platform.h"
#include "platform/posix/Diagnostics.h"
#include "platform/posix/PosixSwitches.h"

namespace brimble::posix {

class PosixChangeWatching final : public IChangeWatching {
public:
    PosixChangeWatching(const PosixSwitches& switches, const Diagnostics& diagnostics)
        : FSwitches(switches), FDiagnostics(diagnostics) {}

    std::unique_ptr<IChangeReader> OpenChangeReader(const std::string& root,
                                                    uint32_t filter) override;

private:
    const PosixSwitches& FSwitches;
    const Diagnostics& FDiagnostics;
};

} // namespace brimble::posix
