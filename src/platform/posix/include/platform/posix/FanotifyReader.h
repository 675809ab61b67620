#pragma once

// Change watching with fanotify on the whole file system: one mark, however large the tree.
// Needs CAP_SYS_ADMIN (and CAP_DAC_READ_SEARCH to turn the reported folder handles into
// paths); a user without them, and a subvolume mount, are watched with inotify instead.
// Events in other subvolumes or snapshots of the file system are left out, as the scan
// leaves them out.

#include "platform/Platform.h"

#include <memory>
#include <string>

namespace brimble::posix {

// Null, with WhyNot said in words, where fanotify cannot watch Root's file system: without
// the capability, and on a btrfs subvolume mount, which it refuses (EXDEV).
std::unique_ptr<IChangeReader> OpenFanotifyReader(const std::string& root, uint32_t filter,
                                                  std::string* whyNot);

} // namespace brimble::posix
