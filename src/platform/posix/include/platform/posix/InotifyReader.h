#pragma once

// Change watching with inotify, for users who may not watch a whole file system: one watch
// per folder, added as folders appear. A folder that cannot be watched (no permission, the
// limit fs.inotify.max_user_watches reached) is reported to the diagnostics and left out.

#include "platform/Platform.h"
#include "platform/posix/Diagnostics.h"

#include <memory>
#include <string>

namespace brimble::posix {

// Watches every folder below Root before it returns (a walk of the tree), so that every
// change after the open is seen. Null, with Error set to errno, when Root cannot be watched.
std::unique_ptr<IChangeReader> OpenInotifyReader(const std::string& root, uint32_t filter,
                                                 const Diagnostics& diagnostics, int* error);

} // namespace brimble::posix
