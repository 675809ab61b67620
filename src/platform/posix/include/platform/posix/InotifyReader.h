#pragma once

// Change watching with inotify, where fanotify cannot watch (a user without the right, a
// btrfs subvolume mount): one watch per folder, added as folders appear. A folder that cannot be
// watched (no permission, the limit fs.inotify.max_user_watches reached) is reported to the
// diagnostics and left out.

#include "platform/Platform.h"
#include "platform/posix/Diagnostics.h"

#include <memory>
#include <string>

namespace brimble::posix {

// Watches Root itself; the reader's Prepare walks the tree below it, folder by folder,
// stopping at other mounts and subvolumes, and ends early when the reader is woken. Null,
// with Error set to errno, when Root cannot be watched.
std::unique_ptr<IChangeReader> OpenInotifyReader(const std::string& root, uint32_t filter,
                                                 const Diagnostics& diagnostics, int* error);

} // namespace brimble::posix
