#pragma once

// Folder listings. A listing reads its folder's entries completely when it opens and closes
// the descriptor at once: a walk then holds no descriptor per level, so a very deep tree
// cannot exhaust them, and memory grows only with the entries of the folders on the
// current path, never with the whole tree.

#include "platform/Platform.h"

#include <memory>
#include <string>

namespace brimble::posix {

// Null, with Error set to errno, when Dir is missing, unreadable or a symbolic link: a link
// is never followed, so a walk neither loops nor leaves the volume it was started on.
std::unique_ptr<IDirListing> OpenDirListing(const std::string& dir, int* error = nullptr);

} // namespace brimble::posix
