#pragma once

// Change watching with fanotify on the whole file system: one mark, however large the tree.
// Needs CAP_SYS_ADMIN (and CAP_DAC_READ_SEARCH to turn the reported folder handles into
// paths); a user without them is watched with inotify instead.

#include "platform/Platform.h"

#include <memory>
#include <string>

namespace brimble::posix {

// Null, with Error set to errno, where fanotify cannot watch Root's file system.
std::unique_ptr<IChangeReader> OpenFanotifyReader(const std::string& root, uint32_t filter,
                                                  int* error);

} // namespace brimble::posix
