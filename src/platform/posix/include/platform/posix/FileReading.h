#pragma once

// Reading parts of a file without changing it: read-only, without following a link at the
// end, and without recording the access where the caller may ask that.

#include "platform/Platform.h"

#include <memory>
#include <string>

namespace brimble::posix {

OsValue<std::unique_ptr<IInputFile>> OpenForRead(const std::string& path);

} // namespace brimble::posix
