#pragma once

// Directory entries as the engine sees them: a name, a size and the attribute word with the
// Windows bit values, made from what statx reports.

#include "platform/Platform.h"

#include <optional>
#include <string>
#include <sys/stat.h>

namespace brimble::posix {

// The attribute word of an entry: read-only when the owner may not write, hidden for
// dot-names, compressed and encrypted from the inode's flags, a link as a reparse point
// (with the directory bit when it points at one, as a directory link shows on Windows).
uint32_t AttributeWord(const struct statx& info, const std::string& name, bool linkToDirectory);

// The entry Name in the folder DirFd (or a path with AT_FDCWD), without following a link.
// Nothing, with Error set to errno, when it cannot be read.
std::optional<TFileAttrRec> StatEntry(int dirFd, const std::string& pathOrName,
                                      const std::string& name, int* error = nullptr);

} // namespace brimble::posix
