#include "platform/posix/PosixChangeWatching.h"

#include "platform/posix/FanotifyReader.h"
#include "platform/posix/InotifyReader.h"

namespace brimble::posix {

std::unique_ptr<IChangeReader> PosixChangeWatching::OpenChangeReader(const std::string& root,
                                                                     uint32_t filter) {
    int error = 0;
    if (!FSwitches.ForceInotify) {
        if (auto reader = OpenFanotifyReader(root, filter, &error)) return reader;
    }
    return OpenInotifyReader(root, filter, FDiagnostics, &error);
}

} // namespace brimble::posix
