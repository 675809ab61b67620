#pragma once

// Writing the program's own small files: the log (appended) and the lists and settings
// (replaced atomically).

#include "platform/Platform.h"

#include <memory>
#include <string>
#include <string_view>

namespace brimble::posix {

// Writes the temporary file beside Path, flushes it, renames it over Path and flushes the
// folder. The new file keeps the old one's permission bits (and owner, where allowed). On
// any failure the temporary file is removed and the old file stays as it was.
OsResult ReplaceFileAtomically(const std::string& path, std::string_view bytes);

OsValue<std::unique_ptr<IOutputFile>> OpenForWrite(const std::string& path, WriteMode mode);

// Creates Folder and its missing parents (new ones with Mode less the umask).
OsResult MakeFolders(const std::string& folder, unsigned mode);

// Writes all of Bytes, retrying short writes and interruptions.
OsResult WriteAllBytes(int fd, std::string_view bytes);

} // namespace brimble::posix
