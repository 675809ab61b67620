#pragma once

#include "platform/Platform.h"

#include <memory>
#include <optional>
#include <string>

namespace brimble::win32 {

// FindFirstFileExW over Dir: basic information (no short names), large fetches.
OsValue<std::unique_ptr<IDirListing>> OpenDirListing(const std::string& dir);

// The entry of Path itself as a listing of its folder shows it; nothing for a root, a
// missing entry or a name with wildcards.
std::optional<TFileAttrRec> FindOneEntry(const std::string& path);

} // namespace brimble::win32
