#pragma once

// Opening files and folders for the small questions the file system answers by handle.

#include "platform/Platform.h"
#include "platform/win32/UniqueHandle.h"

#include <string_view>

namespace brimble::win32 {

// Access rights on Path (folders too); a reparse point itself unless Follow.
OsValue<UniqueHandle> OpenEntry(std::string_view path, DWORD access, bool follow);

// Volume serial number and file index: which file this is, across its names.
OsValue<BY_HANDLE_FILE_INFORMATION> EntryInformation(std::string_view path, bool follow);

// Whether two paths lead to the same file, links followed; false when either cannot be opened.
bool SameEntry(std::string_view a, std::string_view b);

// Path without trailing delimiters, unless it is a drive root ("C:\").
std::string WithoutTrailingDelimiter(std::string_view path);

} // namespace brimble::win32
