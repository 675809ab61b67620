#pragma once

#include "platform/Platform.h"

#include <memory>
#include <string>
#include <string_view>

namespace brimble::win32 {

OsResult ReadWholeFile(const std::string& path, std::string& bytes);
OsValue<std::unique_ptr<IInputFile>> OpenForRead(const std::string& path);
OsResult ReplaceFileAtomically(const std::string& path, std::string_view bytes);
OsValue<std::unique_ptr<IOutputFile>> OpenForWrite(const std::string& path, WriteMode mode);

} // namespace brimble::win32
